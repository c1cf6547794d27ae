# The installed shape of the program: its command line, its window started through a
# symbolic link, the menu entry's launcher and its polkit action.
if(NORVANE_GUI AND TARGET norvane-admin AND NOT WIN32)
  # Loaded into a real norvane-admin to read its window; never installed.
  add_library(norvane_probe MODULE probe/WindowProbe.cpp)
  target_link_libraries(norvane_probe PRIVATE Qt6::Widgets)
  set_target_properties(norvane_probe PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/probe/generic)

  norvane_test(app_tests GUI
    SOURCES app_command_test.cpp app_launcher_test.cpp app_support.h
    LIBS norvane_settings Qt6::Core)
  set(packaging norvane_packaging_files)
  target_compile_definitions(app_tests PRIVATE
    NORVANE_ADMIN_BINARY="$<TARGET_FILE:norvane-admin>"
    NORVANE_PROBE_PATH="${CMAKE_BINARY_DIR}/probe"
    NORVANE_VERSION="${PROJECT_VERSION}"
    NORVANE_PACKAGING_DIR="$<TARGET_PROPERTY:${packaging},NORVANE_PACKAGING_DIR>"
    NORVANE_INSTALLED_PROGRAM="$<TARGET_PROPERTY:${packaging},NORVANE_PROGRAM>"
    NORVANE_INSTALLED_LAUNCHER="$<TARGET_PROPERTY:${packaging},NORVANE_LAUNCHER>")
  add_dependencies(app_tests norvane-admin norvane_probe ${packaging})
endif()
