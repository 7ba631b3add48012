# The end-to-end tests of a Windows build folder: one test per case of the
# driver's tables (those after e2eCases64 run in a 64-bit prefix), all
# sharing one virtual display and one template prefix per architecture.
# Used by the host build and by the windows preset's own build.
function(kestrune_end_to_end_tests windows_build)
  set(here ${PROJECT_SOURCE_DIR}/tests/e2e)
  set(e2e_state ${CMAKE_CURRENT_BINARY_DIR}/e2e-state)
  add_test(NAME e2e.setup COMMAND ${here}/setup.sh ${e2e_state})
  add_test(NAME e2e.cleanup COMMAND ${here}/cleanup.sh ${e2e_state})
  set_tests_properties(e2e.setup PROPERTIES FIXTURES_SETUP wine TIMEOUT 300 LABELS e2e)
  set_tests_properties(e2e.cleanup PROPERTIES FIXTURES_CLEANUP wine TIMEOUT 60 LABELS e2e)

  file(READ ${here}/cases.h cases_source)
  string(FIND "${cases_source}" "e2eCases64[]" split)
  string(SUBSTRING "${cases_source}" 0 ${split} cases32)
  string(SUBSTRING "${cases_source}" ${split} -1 cases64)
  foreach(arch 32 64)
    string(REGEX MATCHALL "\n    {\"[A-Za-z0-9]+\"," entries "${cases${arch}}")
    foreach(entry IN LISTS entries)
      string(REGEX REPLACE "[^\"]*\"([A-Za-z0-9]+)\".*" "\\1" case "${entry}")
      add_test(NAME e2e.${case} COMMAND ${here}/run-case.sh ${e2e_state} ${windows_build} ${case} win${arch})
      set_tests_properties(e2e.${case} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 180 LABELS e2e)
    endforeach()
  endforeach()
endfunction()
