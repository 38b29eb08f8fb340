# The programs on recorded input (a text skeleton stream) instead of the simulated performer:
# scripts that only wait, press keys, save and check run as they do on the performer; a script
# that would move the performer is refused before the first frame.
if(TARGET pintara AND TARGET gesturetool)
  set(_gd ${PROJECT_SOURCE_DIR}/tests/data/gestures)
  set(_sets ${PROJECT_BINARY_DIR}/artefacts/recorded_swings.bin)
  # Two sets of three examples each (the default 3 neighbours need three), taught from the
  # streams of a single sideways swing (set 0) and a single forward swing (set 1).
  set(_train "$<TARGET_FILE:gesturetool> train --capture 0:6000")
  add_test(NAME e2e_recorded_train
           COMMAND sh -c "set -e; rm -f \"${_sets}\"; \
${_train} --stream csv:${_gd}/right_side_swing.csv --out \"${_sets}\" --new-set; \
for i in 1 2; do ${_train} --stream csv:${_gd}/right_side_swing.csv --sets \"${_sets}\" --out \"${_sets}\" --add --set 0; done; \
${_train} --stream csv:${_gd}/right_forward_swing.csv --sets \"${_sets}\" --out \"${_sets}\" --new-set; \
for i in 1 2; do ${_train} --stream csv:${_gd}/right_forward_swing.csv --sets \"${_sets}\" --out \"${_sets}\" --add --set 1; done; \
echo all trained")
  set_tests_properties(e2e_recorded_train PROPERTIES LABELS e2e FIXTURES_SETUP recorded_swings
                       PASS_REGULAR_EXPRESSION "Saved 6 gestures in 2 sets to disk!\nall trained\n$")
  add_test(NAME e2e_pintara_recorded_stream
           COMMAND pintara ${_sets} --sensor csv:${_gd}/both_swings_noisy.csv
                   --script ${PROJECT_SOURCE_DIR}/scenarios/pintara_recorded_stream.scn --fixed-step 33
           WORKING_DIRECTORY ${PROJECT_BINARY_DIR})
  set_tests_properties(e2e_pintara_recorded_stream PROPERTIES LABELS e2e TIMEOUT 300
                       FIXTURES_REQUIRED recorded_swings FAIL_REGULAR_EXPRESSION "before the script did")

  add_test(NAME e2e_pintara_recorded_stream_performer_script
           COMMAND ${CMAKE_COMMAND} -DEXPECT_CODE=2
                   "-DEXPECT_OUTPUT=pintara: script [^\n]*pintara_paint.scn:[0-9]+: '[a-z]+' drives the simulated performer; with --sensor csv:[^\n]* a script may only hold"
                   -P ${CMAKE_CURRENT_SOURCE_DIR}/support/run_expecting.cmake
                   -- $<TARGET_FILE:pintara> --sensor csv:${_gd}/both_swings_noisy.csv
                   --script ${PROJECT_SOURCE_DIR}/scenarios/pintara_paint.scn --fixed-step 33
           WORKING_DIRECTORY ${PROJECT_BINARY_DIR})
  set_tests_properties(e2e_pintara_recorded_stream_performer_script PROPERTIES LABELS e2e TIMEOUT 120)
endif()

if(TARGET glebora)
  add_test(NAME e2e_glebora_recorded_stream_demo
           COMMAND ${CMAKE_COMMAND} -DEXPECT_CODE=2
                   "-DEXPECT_OUTPUT=glebora: the demo drives the simulated performer; use --sensor synthetic"
                   -P ${CMAKE_CURRENT_SOURCE_DIR}/support/run_expecting.cmake
                   -- $<TARGET_FILE:glebora> --sensor csv:${PROJECT_SOURCE_DIR}/tests/data/gestures/rest_only.csv
                   --demo --fixed-step 33
           WORKING_DIRECTORY ${PROJECT_BINARY_DIR})
  set_tests_properties(e2e_glebora_recorded_stream_demo PROPERTIES LABELS e2e TIMEOUT 120)
endif()
