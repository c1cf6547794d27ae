# GoogleTest built with the project's own compiler from Debian's sources (googletest
# package), for a cross build where the installed libraries do not fit. Included right
# after project(), before the project's warning flags, which GoogleTest does not meet.
set(NORVANE_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources to build for the target")
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${NORVANE_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

# find_package(GTest) looks here first and takes the targets just made (GTest::gtest,
# GTest::gtest_main) instead of searching for installed ones.
file(WRITE ${CMAKE_FIND_PACKAGE_REDIRECTS_DIR}/GTestConfig.cmake "# GoogleTest is built in this tree.\n")
