# Proof under faults, load and bad input: killed and concurrent administrators (real
# processes), bad text in every box, full and read-only file systems, unreachable
# databases, and the regression cases that fuzzing found.
if(NORVANE_GUI)
  # An administrator process that saves in a loop until it is killed.
  add_executable(reliability_saver support/reliability_saver.cpp support/reliability_values.h)
  target_include_directories(reliability_saver PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(reliability_saver PRIVATE norvane_editor)

  norvane_test(reliability_store_tests GUI
    SOURCES reliability_store_test.cpp support/reliability_values.h
    LIBS norvane_editor SQLite::SQLite3
    PROPERTIES TIMEOUT 900)
  target_compile_definitions(reliability_store_tests PRIVATE
    NORVANE_RELIABILITY_SAVER="$<TARGET_FILE:reliability_saver>")
  add_dependencies(reliability_store_tests reliability_saver)
endif()

if(NORVANE_GUI)
  norvane_test(reliability_input_tests GUI
    SOURCES reliability_input_test.cpp
    LIBS norvane_editor)
endif()

if(NORVANE_GUI)
  norvane_test(reliability_faults_tests GUI
    SOURCES reliability_faults_test.cpp tools_OdbcIni.h
    LIBS norvane_editor SQLite::SQLite3)
endif()

if(NORVANE_GUI)
  # The fuzz targets' properties over every kept input; the editor needs a QApplication.
  norvane_test(reliability_fuzz_tests GUI
    SOURCES reliability_fuzz_test.cpp ${CMAKE_SOURCE_DIR}/fuzz/properties.h
    LIBS norvane_regfile norvane_files norvane_settings)
  target_include_directories(reliability_fuzz_tests PRIVATE ${CMAKE_SOURCE_DIR}/fuzz)
  target_compile_definitions(reliability_fuzz_tests PRIVATE NORVANE_FUZZ_CORPUS="${CMAKE_SOURCE_DIR}/fuzz/corpus")
endif()
