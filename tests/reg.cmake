# norvane-reg and its REGEDIT4 files.
if(TARGET norvane-reg AND NOT WIN32)
  norvane_test(reg_tests
    SOURCES reg_file_test.cpp reg_command_test.cpp
    LIBS norvane_regfile)
  # The command tests run the real binary.
  target_compile_definitions(reg_tests PRIVATE NORVANE_REG_BINARY="$<TARGET_FILE:norvane-reg>"
    NORVANE_VERSION="${PROJECT_VERSION}")
  add_dependencies(reg_tests norvane-reg)
endif()
