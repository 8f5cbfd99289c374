# GoogleTest for the unit and end-to-end tests: the system's package, or
# for a cross build its sources.
if(CMAKE_CROSSCOMPILING)
  # No GoogleTest libraries exist for the target: build them from the
  # sources that Debian's googletest package ships.
  set(QEV_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources for cross builds")
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${QEV_GTEST_SOURCE_DIR} googletest EXCLUDE_FROM_ALL)
  if(NOT TARGET GTest::gtest)
    add_library(GTest::gtest ALIAS gtest)
    add_library(GTest::gtest_main ALIAS gtest_main)
  endif()
else()
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)
