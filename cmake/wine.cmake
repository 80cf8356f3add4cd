# The Windows tests under Wine, owned by ctest: a fixture per prefix creates it and starts its
# server before the first test that needs it and stops the server after the last; each test's
# environment names its prefix and the loader. Where this machine cannot run programs of this
# build's architecture (a kernel without 32-bit emulation), the tests are registered disabled,
# so that ctest lists them as not run.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(ZEL_WINE_ARCH 64)
else()
  set(ZEL_WINE_ARCH 32)
endif()
set(ZEL_WINE_ENV ${PROJECT_SOURCE_DIR}/scripts/wine-env)
execute_process(COMMAND ${ZEL_WINE_ENV} loader ${ZEL_WINE_ARCH}
                OUTPUT_VARIABLE ZEL_WINE_LOADER OUTPUT_STRIP_TRAILING_WHITESPACE
                RESULT_VARIABLE ZEL_WINE_UNAVAILABLE)
if(ZEL_WINE_UNAVAILABLE STREQUAL "0")
  set(ZEL_WINE_UNAVAILABLE FALSE)
else()
  message(STATUS "Wine cannot run ${ZEL_WINE_ARCH}-bit programs here: those tests are disabled")
  set(ZEL_WINE_UNAVAILABLE TRUE)
  set(ZEL_WINE_LOADER wine)
endif()
execute_process(COMMAND ${ZEL_WINE_ENV} probe OUTPUT_VARIABLE ZEL_WINE32
                OUTPUT_STRIP_TRAILING_WHITESPACE)
set(ZEL_WINE_DIR ${CMAKE_BINARY_DIR}/wine)

# The environment of every Wine command of prefix NAME.
function(zel_wine_environment out name)
  set(environment WINEPREFIX=${ZEL_WINE_DIR}/${name} WINEARCH=win${ZEL_WINE_ARCH} WINEDEBUG=-all
                  "WINEDLLOVERRIDES=mscoree,mshtml=")
  if(ZEL_WINE_LOADER MATCHES "wine64$")
    list(APPEND environment WINELOADER=${ZEL_WINE_LOADER})
  endif()
  set(${out} "${environment}" PARENT_SCOPE)
endfunction()

# Prefix NAME as fixture wine.NAME; GUI: a Wine desktop on the caller's display, at DPI (96
# without it).
function(zel_wine_prefix name)
  cmake_parse_arguments(PARSE_ARGV 1 ZEL "GUI" "DPI" "")
  set(gui "")
  if(ZEL_GUI)
    set(gui gui ${ZEL_DPI})
  endif()
  add_test(NAME wine.${name}.start COMMAND ${ZEL_WINE_ENV} start ${ZEL_WINE_DIR}/${name} ${ZEL_WINE_ARCH} ${gui})
  add_test(NAME wine.${name}.stop COMMAND ${ZEL_WINE_ENV} stop ${ZEL_WINE_DIR}/${name})
  set_tests_properties(wine.${name}.start PROPERTIES FIXTURES_SETUP wine.${name} TIMEOUT 180)
  set_tests_properties(wine.${name}.stop PROPERTIES FIXTURES_CLEANUP wine.${name} TIMEOUT 60)
  set_tests_properties(wine.${name}.start wine.${name}.stop PROPERTIES
                       LABELS win${ZEL_WINE_ARCH} DISABLED ${ZEL_WINE_UNAVAILABLE})
endfunction()

# The GoogleTest cases of TARGET, read from its SOURCES, run in prefix PREFIX with LABELS and
# the remaining test PROPERTIES.
function(zel_wine_tests target)
  cmake_parse_arguments(PARSE_ARGV 1 ZEL "" "PREFIX" "SOURCES;LABELS;PROPERTIES")
  set_target_properties(${target} PROPERTIES CROSSCOMPILING_EMULATOR ${ZEL_WINE_LOADER})
  # Read from the sources, not discovered by running the tests: discovery would start Wine
  # before the fixture has made the prefix.
  gtest_add_tests(TARGET ${target} SOURCES ${ZEL_SOURCES} TEST_LIST tests)
  zel_wine_environment(environment ${ZEL_PREFIX})
  set_tests_properties(${tests} PROPERTIES
                       ENVIRONMENT "${environment}" FIXTURES_REQUIRED wine.${ZEL_PREFIX}
                       LABELS "win${ZEL_WINE_ARCH};${ZEL_LABELS}" TIMEOUT 120
                       DISABLED ${ZEL_WINE_UNAVAILABLE} ${ZEL_PROPERTIES})
endfunction()
