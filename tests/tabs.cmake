norvane_test(tabs_tests GUI
  SOURCES tabs_test.cpp
  LIBS norvane_editor)
