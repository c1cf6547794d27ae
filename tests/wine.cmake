# The registry suite and norvane-reg against the Windows registry, in the cross build for
# Windows; the tests run under Wine (scripts/test-windows). Their names begin with "Wine.".
if(WIN32)
  add_executable(settings_registry_wine settings_registry_test.cpp)
  target_link_libraries(settings_registry_wine PRIVATE norvane_settings GTest::gtest GTest::gtest_main)
  gtest_discover_tests(settings_registry_wine TEST_PREFIX "Wine." DISCOVERY_TIMEOUT 120)
endif()
