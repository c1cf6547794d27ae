# Server environment tools: data sources, connection check, IP addresses, service control.
if(NORVANE_GUI)
  norvane_test(tools_tests GUI
    SOURCES tools_odbc_test.cpp tools_connection_test.cpp tools_localips_test.cpp tools_service_test.cpp
            tools_OdbcIni.h
    LIBS norvane_tools Qt6::Network Qt6::Widgets SQLite::SQLite3)

  # A real PostgreSQL server for the checks over the PostgreSQL driver; pg_start.sh
  # writes its port into the state folder.
  set(tools_pg_state ${CMAKE_CURRENT_BINARY_DIR}/tools_pg)
  add_test(NAME tools_pg_start COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/pg_start.sh ${tools_pg_state})
  add_test(NAME tools_pg_stop COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/pg_stop.sh ${tools_pg_state})
  set_tests_properties(tools_pg_start PROPERTIES FIXTURES_SETUP tools_pg TIMEOUT 180)
  set_tests_properties(tools_pg_stop PROPERTIES FIXTURES_CLEANUP tools_pg TIMEOUT 120)

  norvane_test(tools_pg_tests GUI
    SOURCES tools_pg_test.cpp tools_OdbcIni.h
    LIBS norvane_tools Qt6::Widgets SQLite::SQLite3
    PROPERTIES FIXTURES_REQUIRED tools_pg)
  target_compile_definitions(tools_pg_tests PRIVATE NORVANE_PG_STATE="${tools_pg_state}")
endif()
