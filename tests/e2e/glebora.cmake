# glebora driven through the simulated performer: the radial menu by dwelling, a hill with the
# terrain brush, the colour picker and colour brush, orbiting, and the export, whose maps a
# second test then reads back.
if(TARGET glebora)
  set(_glebora_export_base ${PROJECT_BINARY_DIR}/artefacts/glebora_e2e)
  add_test(NAME e2e_glebora_sculpt
           COMMAND glebora --script ${PROJECT_SOURCE_DIR}/scenarios/glebora_sculpt.scn --fixed-step 33
                   --window 800x500 --screenshot ${PROJECT_BINARY_DIR}/artefacts/glebora_sculpt_end.png
           WORKING_DIRECTORY ${PROJECT_BINARY_DIR})
  set_tests_properties(e2e_glebora_sculpt PROPERTIES
                       ENVIRONMENT GLEBORA_EXPORT_BASE=${_glebora_export_base}
                       FIXTURES_SETUP glebora_export FAIL_REGULAR_EXPRESSION "before the script did")
  find_package(Python3 COMPONENTS Interpreter QUIET)
  if(Python3_Interpreter_FOUND)
    add_test(NAME e2e_glebora_export_maps
             COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/glebora_check_export.py ${_glebora_export_base})
    set_tests_properties(e2e_glebora_export_maps PROPERTIES FIXTURES_REQUIRED glebora_export LABELS e2e)
  endif()
  # No sensor: the known message, the reason, and exit code 1.
  add_test(NAME e2e_glebora_missing_sensor
           COMMAND ${CMAKE_COMMAND} -DEXPECT_CODE=1
                   "-DEXPECT_OUTPUT=Kinect Sensor nicht gefunden.*glebora: recording '/nonexistent/recording.rec': cannot open"
                   -P ${CMAKE_CURRENT_SOURCE_DIR}/support/run_expecting.cmake
                   -- $<TARGET_FILE:glebora> --sensor replay:/nonexistent/recording.rec --frames 1
           WORKING_DIRECTORY ${PROJECT_BINARY_DIR})
  # A file that outgrows the file size limit (as on a full disk) must fail the export with its
  # message, not kill the program with SIGXFSZ and lose the terrain.
  add_test(NAME e2e_glebora_export_on_full_disk
           COMMAND ${CMAKE_COMMAND} -DEXPECT_CODE=0
                   "-DEXPECT_OUTPUT=Export failed: cannot write '[^']*_colormap.tga': File too large"
                   -P ${CMAKE_CURRENT_SOURCE_DIR}/support/run_expecting.cmake
                   -- bash -c "ulimit -f 300 && exec \"$@\"" limited
                      $<TARGET_FILE:glebora> --script ${PROJECT_SOURCE_DIR}/tests/e2e/data/export_on_full_disk.scn
                      --fixed-step 33 --window 640x400
           WORKING_DIRECTORY ${PROJECT_BINARY_DIR})
  set_tests_properties(e2e_glebora_export_on_full_disk PROPERTIES
                       ENVIRONMENT GLEBORA_EXPORT_BASE=${PROJECT_BINARY_DIR}/artefacts/glebora_full_disk)
  set_tests_properties(e2e_glebora_sculpt e2e_glebora_missing_sensor e2e_glebora_export_on_full_disk
                       PROPERTIES LABELS e2e TIMEOUT 300)
endif()

if(TARGET glebora AND TARGET pintara)
  # glebora with the nine sets pintara's first-run journey taught: gestures arm and pick every
  # tool; the exported maps are read back.
  set(_glebora_journey_base ${PROJECT_BINARY_DIR}/artefacts/glebora_journey)
  add_test(NAME e2e_glebora_journey
           COMMAND glebora ${PROJECT_BINARY_DIR}/artefacts/pintara_journey_sets.bin
                   --script ${PROJECT_SOURCE_DIR}/scenarios/glebora_journey.scn --fixed-step 33 --window 800x500
           WORKING_DIRECTORY ${PROJECT_BINARY_DIR})
  set_tests_properties(e2e_glebora_journey PROPERTIES
                       ENVIRONMENT GLEBORA_EXPORT_BASE=${_glebora_journey_base}
                       FIXTURES_REQUIRED pintara_journey_sets FIXTURES_SETUP glebora_journey_export
                       LABELS e2e TIMEOUT 600 FAIL_REGULAR_EXPRESSION "before the script did")
  if(Python3_Interpreter_FOUND)
    add_test(NAME e2e_glebora_journey_maps
             COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/glebora_check_export.py
                     ${_glebora_journey_base} --anywhere)
    set_tests_properties(e2e_glebora_journey_maps PROPERTIES FIXTURES_REQUIRED glebora_journey_export LABELS e2e)
  endif()
endif()
