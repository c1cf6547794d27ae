# The store file and its conversions; the POSIX process tests do not cross-build.
if(NOT WIN32)
  norvane_test(settings_tests
    SOURCES settings_registry_test.cpp settings_conversions_test.cpp settings_store_test.cpp
    LIBS norvane_settings
    PROPERTIES ENVIRONMENT "SETTINGS_WRITER=$<TARGET_FILE:settings_store_writer>")
  add_executable(settings_store_writer support/store_writer.cpp)
  target_link_libraries(settings_store_writer PRIVATE norvane_settings)
  add_dependencies(settings_tests settings_store_writer)
endif()
