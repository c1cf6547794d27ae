norvane_test(roundtrip_tests GUI
  SOURCES roundtrip_test.cpp
  LIBS norvane_editor SQLite::SQLite3)
