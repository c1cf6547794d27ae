# The main window: its layout, its events and rules, and the message-box wrapper.
if(NORVANE_GUI)
  norvane_test(norvane_gui_tests GUI
    SOURCES gui_layout.cpp gui_rules.cpp gui_messagebox.cpp gui_support.h
    LIBS norvane_editor)

  # Pictures of every tab of the main window and of the About window, for comparing the
  # layout with its tables: cmake --build <build> --target pictures; see <build>/pictures.
  add_executable(norvane-pictures pictures/pictures.cpp)
  target_link_libraries(norvane-pictures PRIVATE norvane_editor)
  add_custom_target(pictures
    COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen $<TARGET_FILE:norvane-pictures> ${CMAKE_BINARY_DIR}/pictures
    DEPENDS norvane-pictures
    COMMENT "Drawing the windows into ${CMAKE_BINARY_DIR}/pictures"
    VERBATIM)
endif()
