# What a Windows build takes from the build machine besides the cross
# compiler: nlohmann/json's headers (header-only, so they serve any target;
# only that directory is exposed, never the host's /usr/include), GoogleTest
# compiled from Debian's sources for the target, and wine64 to run the tests.
# Included before the warning options, so that GoogleTest builds with its own.

find_path(TARVIK_HOST_JSON_INCLUDE nlohmann/json.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH
  REQUIRED)
set(tarvik_json_dir ${CMAKE_BINARY_DIR}/host-include)
file(MAKE_DIRECTORY ${tarvik_json_dir})
file(CREATE_LINK ${TARVIK_HOST_JSON_INCLUDE}/nlohmann ${tarvik_json_dir}/nlohmann SYMBOLIC)
add_library(tarvik_nlohmann_json INTERFACE)
target_include_directories(tarvik_nlohmann_json SYSTEM INTERFACE ${tarvik_json_dir})
add_library(nlohmann_json::nlohmann_json ALIAS tarvik_nlohmann_json)

if(TARVIK_BUILD_TESTS)
  set(TARVIK_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's sources")
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${TARVIK_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  foreach(library gtest gmock gtest_main)
    if(NOT TARGET GTest::${library})  # older GoogleTest sources make no aliases
      add_library(GTest::${library} ALIAS ${library})
    endif()
  endforeach()

  # The tests run under wine64, in a prefix of the build's own. It is made
  # here, once: the build lists the tests by running them, two at a time, and
  # two first runs would race to make it.
  find_program(TARVIK_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  set(TARVIK_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine-prefix)
  set(CMAKE_CROSSCOMPILING_EMULATOR
    ${PROJECT_SOURCE_DIR}/scripts/lib/wine-run;${TARVIK_WINE64};${TARVIK_WINE_PREFIX})
  if(NOT EXISTS ${TARVIK_WINE_PREFIX}/system.reg)
    message(STATUS "Making the Wine prefix ${TARVIK_WINE_PREFIX}")
    execute_process(COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} wineboot -i
      RESULT_VARIABLE wineboot_result OUTPUT_QUIET ERROR_QUIET)
    if(NOT wineboot_result EQUAL 0)
      message(FATAL_ERROR "wineboot -i failed (${wineboot_result}) in ${TARVIK_WINE_PREFIX}")
    endif()
  endif()
endif()
