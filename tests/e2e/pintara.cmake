# pintara driven through the simulated performer: pointer engagement, depth-based grips,
# the brush, the straight line, undo and redo.
if(TARGET pintara)
  add_test(NAME e2e_pintara_paint
           COMMAND pintara --script ${PROJECT_SOURCE_DIR}/scenarios/pintara_paint.scn --fixed-step 33
                   --screenshot ${PROJECT_BINARY_DIR}/artefacts/pintara_paint_end.png
           WORKING_DIRECTORY ${PROJECT_BINARY_DIR})
  # The demo reaches its last part within 900 frames, and the frame is kept.
  add_test(NAME e2e_pintara_demo
           COMMAND ${CMAKE_COMMAND} -DEXPECT_CODE=0
                   "-DEXPECT_OUTPUT=demo: painting with a closed hand.*demo: whole-arm gestures.*screenshot: [^\n]*artefacts/pintara_demo.png"
                   -P ${CMAKE_CURRENT_SOURCE_DIR}/support/run_expecting.cmake
                   -- $<TARGET_FILE:pintara> --demo --fixed-step 33 --frames 900
                      --screenshot ${PROJECT_BINARY_DIR}/artefacts/pintara_demo.png
           WORKING_DIRECTORY ${PROJECT_BINARY_DIR})
  # No sensor: the known message, the reason, and exit code 1.
  add_test(NAME e2e_pintara_missing_sensor
           COMMAND ${CMAKE_COMMAND} -DEXPECT_CODE=1
                   "-DEXPECT_OUTPUT=Kinect Sensor nicht gefunden.*pintara: recording '/nonexistent/recording.rec': cannot open"
                   -P ${CMAKE_CURRENT_SOURCE_DIR}/support/run_expecting.cmake
                   -- $<TARGET_FILE:pintara> --sensor replay:/nonexistent/recording.rec --frames 1
           WORKING_DIRECTORY ${PROJECT_BINARY_DIR})
  add_test(NAME e2e_pintara_bad_script
           COMMAND ${CMAKE_COMMAND} -DEXPECT_CODE=2 "-DEXPECT_OUTPUT=bad_script.scn:2: bad y"
                   -P ${CMAKE_CURRENT_SOURCE_DIR}/support/run_expecting.cmake
                   -- $<TARGET_FILE:pintara> --script ${PROJECT_SOURCE_DIR}/tests/e2e/data/bad_script.scn --fixed-step 33
           WORKING_DIRECTORY ${PROJECT_BINARY_DIR})
  # One empty argument is the one argument: its load fails with the loader's message and the
  # program starts without sets.
  add_test(NAME e2e_pintara_empty_argument
           COMMAND ${CMAKE_COMMAND} -DEXPECT_CODE=0 "-DEXPECT_OUTPUT=^Cannot load from disk!"
                   -P ${CMAKE_CURRENT_SOURCE_DIR}/support/run_expecting.cmake
                   -- bash -c "exec \"$0\" '' --frames 2 --fixed-step 33" $<TARGET_FILE:pintara>
           WORKING_DIRECTORY ${PROJECT_BINARY_DIR})
  # A script refused before the first frame leaves the --record file as it was, and a script
  # whose screenshot would replace the stream being played is refused before it starts.
  add_test(NAME e2e_pintara_refused_script_keeps_files
           COMMAND bash -c "d=artefacts/refused_script && rm -rf $d && mkdir -p $d && printf KEEP > $d/keep.rec && cp \"$1\" $d/s.csv && printf 'hold 100\\nscreenshot %s\\n' $d/s.csv > $d/shot.scn && \"$0\" --script \"$2\" --fixed-step 33 --record $d/keep.rec; test $? = 2 && test \"$(cat $d/keep.rec)\" = KEEP && \"$0\" --sensor csv:$d/s.csv --script $d/shot.scn --fixed-step 33 2> $d/shot.log; rc=$? && cat $d/shot.log && test $rc = 2 && cmp $d/s.csv \"$1\" && grep -q \"shot.scn:2: 'screenshot $d/s.csv' names the stream being played\" $d/shot.log"
                   $<TARGET_FILE:pintara> ${PROJECT_SOURCE_DIR}/tests/data/streams/arms_down.csv
                   ${PROJECT_SOURCE_DIR}/tests/e2e/data/bad_script.scn
           WORKING_DIRECTORY ${PROJECT_BINARY_DIR})
  set_tests_properties(e2e_pintara_paint e2e_pintara_demo e2e_pintara_missing_sensor e2e_pintara_bad_script
                       e2e_pintara_empty_argument e2e_pintara_refused_script_keeps_files
                       PROPERTIES LABELS e2e TIMEOUT 300)
  # A program that ends before its script did exits 0 with a note naming the unchecked lines.
  set_tests_properties(e2e_pintara_paint PROPERTIES FAIL_REGULAR_EXPRESSION "before the script did")
endif()

if(TARGET pintara)
  # A screenshot on a full disk (a file size limit stands in) fails with exit code 1 and keeps
  # the old file whole; a script's screenshot that fails stops the run at its line.
  add_test(NAME e2e_pintara_screenshot_failures
           COMMAND bash -c "rm -f artefacts/screenshot_onto_folder.log && printf 'old picture' > artefacts/full_disk_shot.png && (ulimit -f 20 && exec \"$0\" --frames 5 --fixed-step 33 --screenshot artefacts/full_disk_shot.png); rc=$? && test $rc = 1 && test \"$(cat artefacts/full_disk_shot.png)\" = 'old picture' && ! ls artefacts/ | grep -q 'full_disk_shot.png.' && \"$0\" --script $1 --fixed-step 33 > artefacts/screenshot_onto_folder.log 2>&1; rc=$? && cat artefacts/screenshot_onto_folder.log && test $rc = 1 && grep -q \"screenshot_onto_folder.scn:4: could not save a screenshot to '/tmp'\" artefacts/screenshot_onto_folder.log && ! grep -q 'still running' artefacts/screenshot_onto_folder.log"
                   $<TARGET_FILE:pintara> ${PROJECT_SOURCE_DIR}/tests/e2e/data/screenshot_onto_folder.scn
           WORKING_DIRECTORY ${PROJECT_BINARY_DIR})
  # A recording cut short by a full disk stops, says so, and fails the run.
  add_test(NAME e2e_pintara_record_on_full_disk
           COMMAND ${CMAKE_COMMAND} -DEXPECT_CODE=1
                   "-DEXPECT_OUTPUT=write failed in frame 1: File too large [(]recording stopped[)]"
                   -P ${CMAKE_CURRENT_SOURCE_DIR}/support/run_expecting.cmake
                   -- bash -c "ulimit -f 100 && exec \"$@\"" limited
                      $<TARGET_FILE:pintara> --frames 30 --fixed-step 33 --record artefacts/full_disk.rec
           WORKING_DIRECTORY ${PROJECT_BINARY_DIR})
  add_test(NAME e2e_pintara_escape_ends_like_frames
           COMMAND bash -c "rm -f artefacts/escape_shot.png artefacts/escape.log && (ulimit -f 300 && exec \"$0\" --script $1 --fixed-step 33 --record artefacts/escape.rec --screenshot artefacts/escape_shot.png) > artefacts/escape.log 2>&1; rc=$? && cat artefacts/escape.log && test $rc = 1 && test -s artefacts/escape_shot.png && grep -q 'recording stopped' artefacts/escape.log && ! grep -q 'still running' artefacts/escape.log"
                   $<TARGET_FILE:pintara> ${PROJECT_SOURCE_DIR}/tests/e2e/data/escape_ends_like_frames.scn
           WORKING_DIRECTORY ${PROJECT_BINARY_DIR})
  # --record makes the folders on the way, as --screenshot does.
  add_test(NAME e2e_pintara_record_into_new_folders
           COMMAND bash -c "rm -rf artefacts/record_folder && \"$0\" --frames 3 --fixed-step 33 --record artefacts/record_folder/deep/three.rec && test -s artefacts/record_folder/deep/three.rec"
                   $<TARGET_FILE:pintara>
           WORKING_DIRECTORY ${PROJECT_BINARY_DIR})
  set_tests_properties(e2e_pintara_screenshot_failures e2e_pintara_record_on_full_disk
                       e2e_pintara_escape_ends_like_frames e2e_pintara_record_into_new_folders
                       PROPERTIES LABELS e2e TIMEOUT 300)
endif()

if(TARGET pintara AND TARGET glebora AND TARGET gesturetool)
  # Ctrl+C or a kill ends a run as Escape does: the recording finished whole, the screenshot saved.
  add_test(NAME e2e_pintara_interrupted_finishes_its_files
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/support/interrupted_run.sh $<TARGET_FILE:pintara>
                   $<TARGET_FILE:gesturetool> ${PROJECT_BINARY_DIR}/artefacts/interrupted_pintara INT
           WORKING_DIRECTORY ${PROJECT_BINARY_DIR})
  add_test(NAME e2e_glebora_terminated_finishes_its_files
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/support/interrupted_run.sh $<TARGET_FILE:glebora>
                   $<TARGET_FILE:gesturetool> ${PROJECT_BINARY_DIR}/artefacts/terminated_glebora TERM
           WORKING_DIRECTORY ${PROJECT_BINARY_DIR})
  set_tests_properties(e2e_pintara_interrupted_finishes_its_files e2e_glebora_terminated_finishes_its_files
                       PROPERTIES LABELS e2e TIMEOUT 300)

  # So does the output's reader going away: the run ends with the shell's code for SIGPIPE.
  set(_piped ${PROJECT_BINARY_DIR}/artefacts/piped_pintara)
  add_test(NAME e2e_pintara_piped_into_head_finishes_its_files
           COMMAND bash -c "rm -rf \"$2\" && mkdir -p \"$2\" && \"$0\" --demo --fixed-step 33 --record \"$2\"/run.rec --screenshot \"$2\"/run.png 2> \"$2\"/run.log | head -n 1 > /dev/null; echo exit=\${PIPESTATUS[0]}; test -s \"$2\"/run.png && echo screenshot saved; \"$1\" poses replay:\"$2\"/run.rec > /dev/null 2> \"$2\"/replay.log && ! test -s \"$2\"/replay.log && echo recording whole"
                   $<TARGET_FILE:pintara> $<TARGET_FILE:gesturetool> ${_piped}
           WORKING_DIRECTORY ${PROJECT_BINARY_DIR})
  set_tests_properties(e2e_pintara_piped_into_head_finishes_its_files PROPERTIES LABELS e2e TIMEOUT 300
                       PASS_REGULAR_EXPRESSION "^exit=141\nscreenshot saved\nrecording whole\n$")

  # Started with its output or error stream closed, a program must not write its messages into
  # the files it opens next (the first of them is the window system's connection).
  set(_closed ${PROJECT_BINARY_DIR}/artefacts/closed_streams)
  add_test(NAME e2e_programs_with_closed_output_streams
           COMMAND bash -c "rm -rf \"$2\" && mkdir -p \"$2\" && timeout 60 \"$0\" --demo --fixed-step 33 --frames 60 --screenshot \"$2\"/pintara.png >&- 2> /dev/null; echo exit=$?; timeout 60 \"$1\" --demo --fixed-step 33 --frames 30 --record \"$2\"/glebora.rec 2>&-; echo exit=$?; \"$3\" poses replay:\"$2\"/glebora.rec > /dev/null && echo recording whole; test -s \"$2\"/pintara.png && echo screenshot saved"
                   $<TARGET_FILE:pintara> $<TARGET_FILE:glebora> ${_closed} $<TARGET_FILE:gesturetool>
           WORKING_DIRECTORY ${PROJECT_BINARY_DIR})
  set_tests_properties(e2e_programs_with_closed_output_streams PROPERTIES LABELS e2e TIMEOUT 300
                       PASS_REGULAR_EXPRESSION "^exit=0\n.*exit=0\nrecording whole\nscreenshot saved\n$")

  # So does the window's close button. Each run has a display of its own, so that the button
  # pressed is that of its own window and no other test's.
  find_package(X11)
  find_program(XVFB_RUN xvfb-run)
  if(X11_FOUND AND XVFB_RUN)
    add_executable(close_window support/close_window.cpp)
    target_link_libraries(close_window PRIVATE X11::X11)
    set(_own_display ${XVFB_RUN} -a -s "-screen 0 1920x1200x24 -noreset")
    add_test(NAME e2e_pintara_closed_finishes_its_files
             COMMAND ${_own_display} bash ${CMAKE_CURRENT_SOURCE_DIR}/support/interrupted_run.sh
                     $<TARGET_FILE:pintara> $<TARGET_FILE:gesturetool> ${PROJECT_BINARY_DIR}/artefacts/closed_pintara
                     CLOSE $<TARGET_FILE:close_window> "Gesture Recognition"
             WORKING_DIRECTORY ${PROJECT_BINARY_DIR})
    add_test(NAME e2e_glebora_closed_finishes_its_files
             COMMAND ${_own_display} bash ${CMAKE_CURRENT_SOURCE_DIR}/support/interrupted_run.sh
                     $<TARGET_FILE:glebora> $<TARGET_FILE:gesturetool> ${PROJECT_BINARY_DIR}/artefacts/closed_glebora
                     CLOSE $<TARGET_FILE:close_window> "GLEBORA"
             WORKING_DIRECTORY ${PROJECT_BINARY_DIR})
    # xvfb-run -a picks the first free display number, which two starting at once could share.
    set_tests_properties(e2e_pintara_closed_finishes_its_files e2e_glebora_closed_finishes_its_files
                         PROPERTIES LABELS e2e TIMEOUT 300 RESOURCE_LOCK display_of_its_own)
  endif()
endif()

if(TARGET pintara AND TARGET glebora)
  # --help and --version that cannot be written (a full disk) fail with a message.
  add_test(NAME programs_help_not_written
           COMMAND sh -c "\"$0\" --help > /dev/full; echo exit=$?; \"$1\" --version > /dev/full; echo exit=$?"
                   $<TARGET_FILE:pintara> $<TARGET_FILE:glebora>)
  set_tests_properties(programs_help_not_written PROPERTIES PASS_REGULAR_EXPRESSION
    "^pintara: writing the output failed: No space left on device\nexit=1\nglebora: writing the output failed: No space left on device\nexit=1\n$")
endif()

if(TARGET pintara)
  add_test(NAME e2e_pintara_erase
           COMMAND pintara --script ${PROJECT_SOURCE_DIR}/scenarios/pintara_erase.scn --fixed-step 33
           WORKING_DIRECTORY ${PROJECT_BINARY_DIR})
  set_tests_properties(e2e_pintara_erase PROPERTIES LABELS e2e TIMEOUT 300
                       FAIL_REGULAR_EXPRESSION "before the script did")
endif()

if(TARGET pintara)
  add_test(NAME e2e_pintara_training
           COMMAND pintara --script ${PROJECT_SOURCE_DIR}/scenarios/pintara_training.scn --fixed-step 33
           WORKING_DIRECTORY ${PROJECT_BINARY_DIR})
  set_tests_properties(e2e_pintara_training PROPERTIES LABELS e2e TIMEOUT 400
                       FAIL_REGULAR_EXPRESSION "before the script did")
endif()

if(TARGET pintara)
  # The program must recover, and the console must report the failed colour and depth fetches.
  add_test(NAME e2e_pintara_faults
           COMMAND sh -c "$<TARGET_FILE:pintara> --script ${PROJECT_SOURCE_DIR}/scenarios/pintara_faults.scn --fixed-step 33 > artefacts/pintara_faults.log 2>&1 && grep -q 'Something went wrong for Depth Frame...' artefacts/pintara_faults.log && grep -q 'Something went wrong for Video Frame...' artefacts/pintara_faults.log && ! grep -q 'before the script did' artefacts/pintara_faults.log"
           WORKING_DIRECTORY ${PROJECT_BINARY_DIR})
  set_tests_properties(e2e_pintara_faults PROPERTIES LABELS e2e TIMEOUT 300)
endif()

if(TARGET pintara)
  # A restart with the file the training journey saved: the sets are loaded before the first frame.
  add_test(NAME e2e_pintara_restart
           COMMAND pintara ${PROJECT_BINARY_DIR}/artefacts/pintara_training_sets.bin
                   --script ${PROJECT_SOURCE_DIR}/scenarios/pintara_restart.scn --fixed-step 33
           WORKING_DIRECTORY ${PROJECT_BINARY_DIR})
  set_tests_properties(e2e_pintara_training PROPERTIES FIXTURES_SETUP pintara_sets)
  set_tests_properties(e2e_pintara_restart PROPERTIES LABELS e2e TIMEOUT 300 FIXTURES_REQUIRED pintara_sets
                       FAIL_REGULAR_EXPRESSION "before the script did")
endif()

if(TARGET pintara)
  # The whole first run: nine gestures taught on the training screen, saved, then every tool,
  # undo and redo picked by gesture while painting. About 12,000 frames.
  add_test(NAME e2e_pintara_journey
           COMMAND pintara --script ${PROJECT_SOURCE_DIR}/scenarios/pintara_journey.scn --fixed-step 33
           WORKING_DIRECTORY ${PROJECT_BINARY_DIR})
  set_tests_properties(e2e_pintara_journey PROPERTIES LABELS e2e TIMEOUT 900
                       FIXTURES_SETUP pintara_journey_sets FAIL_REGULAR_EXPRESSION "before the script did")
endif()
