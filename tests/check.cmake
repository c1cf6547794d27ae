# The "&Check" buttons of the window against real data sources, and the demo's first check.
if(NORVANE_GUI)
  norvane_test(check_tests GUI
    SOURCES check_test.cpp tools_OdbcIni.h
    LIBS norvane_editor
    PROPERTIES FIXTURES_REQUIRED tools_pg)
  target_compile_definitions(check_tests PRIVATE
    NORVANE_PG_STATE="${CMAKE_CURRENT_BINARY_DIR}/tools_pg"
    NORVANE_DEMO_SETUP="$<TARGET_FILE:norvane-demo-setup>")
  add_dependencies(check_tests norvane-demo-setup)
endif()
