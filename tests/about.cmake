# The About window.
if(NORVANE_GUI)
  norvane_test(about_test GUI SOURCES about_test.cpp LIBS norvane_about)
  target_compile_definitions(about_test PRIVATE NORVANE_PROJECT_VERSION="${PROJECT_VERSION}")
endif()
