# The clients and users file editors: byte form of the files, and the editor widget.
if(NORVANE_GUI)
  norvane_test(files_codec_test SOURCES files_codec_test.cpp LIBS norvane_files)
  norvane_test(files_editor_test GUI SOURCES files_editor_test.cpp LIBS norvane_files)
endif()
