# A Qt program on Windows loads Qt's DLLs from its own folder and its platform and style
# plugins from platforms/ and styles/ there; the mingw runtime DLLs sit beside it too
# (scripts/build-qt-windows keeps them in the Qt prefix's bin/).
#
#   norvane_qt_windows_runtime(<name>
#     DESTINATION <dir>                  folder the programs are built into
#     LIBRARIES Qt6::Core ...            Qt libraries, as imported targets
#     PLUGINS Qt6::QWindowsIntegrationPlugin ...   plugins, as imported targets
#     [INSTALL_DESTINATION <dir>])       also install them there, for the package
#
# makes a target <name>, built by default, that copies them into <dir>. windeployqt would
# do this, but it belongs to qttools, which is not built here.
function(norvane_qt_windows_runtime name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "DESTINATION;INSTALL_DESTINATION" "LIBRARIES;PLUGINS")
  if(NOT arg_DESTINATION)
    message(FATAL_ERROR "norvane_qt_windows_runtime: DESTINATION is required")
  endif()

  get_target_property(core_dll Qt6::Core IMPORTED_LOCATION_RELEASE)
  if(NOT core_dll)
    get_target_property(core_dll Qt6::Core IMPORTED_LOCATION)
  endif()
  get_filename_component(qt_bin "${core_dll}" DIRECTORY)
  set(runtime)
  foreach(dll libgcc_s_seh-1.dll libstdc++-6.dll libwinpthread-1.dll)
    if(NOT EXISTS "${qt_bin}/${dll}")
      message(FATAL_ERROR "norvane_qt_windows_runtime: ${dll} is not in ${qt_bin}")
    endif()
    list(APPEND runtime "${qt_bin}/${dll}")
  endforeach()

  set(libraries)
  foreach(library IN LISTS arg_LIBRARIES)
    list(APPEND libraries "$<TARGET_FILE:${library}>")
  endforeach()

  set(commands COMMAND ${CMAKE_COMMAND} -E copy_if_different ${libraries} ${runtime} "${arg_DESTINATION}")
  foreach(plugin IN LISTS arg_PLUGINS)
    get_target_property(type ${plugin} QT_PLUGIN_TYPE)
    list(APPEND commands
      COMMAND ${CMAKE_COMMAND} -E make_directory "${arg_DESTINATION}/${type}"
      COMMAND ${CMAKE_COMMAND} -E copy_if_different "$<TARGET_FILE:${plugin}>" "${arg_DESTINATION}/${type}")
    if(arg_INSTALL_DESTINATION)
      install(FILES "$<TARGET_FILE:${plugin}>" DESTINATION "${arg_INSTALL_DESTINATION}/${type}")
    endif()
  endforeach()
  add_custom_target(${name} ALL
    COMMAND ${CMAKE_COMMAND} -E make_directory "${arg_DESTINATION}"
    ${commands}
    COMMENT "Qt's DLLs and plugins beside the programs"
    VERBATIM)
  if(arg_INSTALL_DESTINATION)
    install(FILES ${libraries} ${runtime} DESTINATION "${arg_INSTALL_DESTINATION}")
  endif()
endfunction()
