# The registry suite and norvane-reg against the Windows registry, in the cross build for
# Windows; the tests run under Wine (scripts/test-windows). Their names begin with "Wine.".
if(WIN32)
  add_executable(settings_registry_wine settings_registry_test.cpp)
  target_link_libraries(settings_registry_wine PRIVATE norvane_settings GTest::gtest GTest::gtest_main)
  gtest_discover_tests(settings_registry_wine TEST_PREFIX "Wine." DISCOVERY_TIMEOUT 120)

  # REGEDIT4 files between the embedded store and the registry: needs norvane-reg built
  # for the machine that runs Wine as well.
  set(NORVANE_HOST_REG "" CACHE FILEPATH "norvane-reg built for the build machine (embedded store)")
  if(TARGET norvane-reg)
    add_test(NAME Wine.RegFileRoundTrip
      COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/wine_regfile_test.sh
              ${NORVANE_HOST_REG} $<TARGET_FILE:norvane-reg> ${CMAKE_CROSSCOMPILING_EMULATOR}
              ${CMAKE_BINARY_DIR}/wineprefix)
  endif()
endif()
