# The end-to-end tests, added each time CTest runs rather than when the build
# is configured: which builds run the cases is decided by trying, once per
# test run, and said in one line. One test per case and build,
# e2e.BUILD.CASE, all sharing one virtual display and one template prefix of
# each kind; a case whose build does not run here is skipped, with the
# reason. Included by CTest with wine, state and src set.
cmake_policy(VERSION 3.25)
execute_process(COMMAND ${wine} builds OUTPUT_VARIABLE builds ERROR_VARIABLE said
                OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_STRIP_TRAILING_WHITESPACE)
message("${said}")
separate_arguments(builds)
add_test(e2e.setup ${wine} setup ${state} ${src} ${builds})
add_test(e2e.cleanup ${wine} cleanup ${state})
set_tests_properties(e2e.setup PROPERTIES FIXTURES_SETUP wine FIXTURES_REQUIRED presets TIMEOUT 300 LABELS e2e)
set_tests_properties(e2e.cleanup PROPERTIES FIXTURES_CLEANUP wine TIMEOUT 60 LABELS e2e)

# BUILD:CASE:BITS for each run of a case: one of everyBuild with the 32-bit
# release in a 32-bit prefix and with the x86-64 build in a 64-bit one.
file(STRINGS ${src}/tests/e2e/cases.h cases REGEX "^    {\"[A-Za-z0-9]+\", (everyBuild|release32On64),")
list(TRANSFORM cases REPLACE "^    {\"([A-Za-z0-9]+)\", everyBuild,.*" "windows:\\1:32;windows64:\\1:64")
list(TRANSFORM cases REPLACE "^    {\"([A-Za-z0-9]+)\", release32On64,.*" "windows:\\1:64")
foreach(run IN LISTS cases)
  string(REGEX MATCH "(.+):(.+):(.+)" run ${run})
  set(test e2e.${CMAKE_MATCH_1}.${CMAKE_MATCH_2})
  if(CMAKE_MATCH_1 IN_LIST builds)
    add_test(${test} ${wine} case ${state} ${src} ${CMAKE_MATCH_1} ${CMAKE_MATCH_2} ${CMAKE_MATCH_3})
  else()
    add_test(${test} ${wine} skip "${said}")
  endif()
  set_tests_properties(${test} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 180 LABELS e2e SKIP_RETURN_CODE 77)
endforeach()
