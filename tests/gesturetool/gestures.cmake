# gesturetool train, recognize and inspect on the generated streams in tests/data/gestures
# (see make_streams.py there). Tests that need a trained file depend on the one that writes it.
set(_gt $<TARGET_FILE:gesturetool>)
set(_gd ${PROJECT_SOURCE_DIR}/tests/data/gestures)
set(_go ${CMAKE_CURRENT_BINARY_DIR})

add_test(NAME gesturetool_train_capture_new_set
  COMMAND sh -c "${_gt} train --stream csv:${_gd}/right_side_swing.csv --out ${_go}/side.bin --new-set --capture 0:6000; echo exit=$?")
set_tests_properties(gesturetool_train_capture_new_set PROPERTIES
  FIXTURES_SETUP gesture_side_set
  PASS_REGULAR_EXPRESSION "^Successfully created a new RIGHT gesture set!\ntrained: set 0 gesture 0, type RIGHT, [0-9]+ poses, [0-9]+ skeletons\nSaved 1 gestures in 1 sets to disk!\nexit=0\n$")

add_test(NAME gesturetool_train_second_set
  COMMAND sh -c "${_gt} train --stream csv:${_gd}/right_forward_swing.csv --sets ${_go}/side.bin --out ${_go}/two.bin --new-set --capture 0:6000; echo exit=$?")
set_tests_properties(gesturetool_train_second_set PROPERTIES
  FIXTURES_REQUIRED gesture_side_set FIXTURES_SETUP gesture_two_sets
  PASS_REGULAR_EXPRESSION "Loaded 1 gestures in 1 sets from disk!\n.*trained: set 1 gesture 0, type RIGHT.*Saved 2 gestures in 2 sets to disk!\nexit=0\n$")

add_test(NAME gesturetool_train_interval_add
  COMMAND sh -c "${_gt} train --stream csv:${_gd}/right_side_swing.csv --sets ${_go}/side.bin --out ${_go}/side_added.bin --add --set 0 --interval 88:127; echo exit=$?")
set_tests_properties(gesturetool_train_interval_add PROPERTIES
  FIXTURES_REQUIRED gesture_side_set
  PASS_REGULAR_EXPRESSION "Successfully trained a gesture!\ntrained: set 0 gesture 1, type RIGHT, 40 poses, 40 skeletons\nSaved 2 gestures in 1 sets to disk!\nexit=0\n$")

add_test(NAME gesturetool_train_unwritable_out
  COMMAND sh -c "${_gt} train --stream csv:${_gd}/right_side_swing.csv --out ${_go}/no_such_folder/x.bin --new-set --capture 0:6000 2>&1 >/dev/null; echo exit=$?")
set_tests_properties(gesturetool_train_unwritable_out PROPERTIES
  PASS_REGULAR_EXPRESSION "^gesturetool train: cannot write '[^']*no_such_folder/x.bin': no such folder '[^']*no_such_folder'\nexit=2\n$")

# A pipe (or any file that is not a regular one) is refused before the training, as a folder is.
add_test(NAME gesturetool_train_onto_pipe COMMAND bash -c
  "rm -f \"${_go}/train.fifo\" && mkfifo \"${_go}/train.fifo\" && timeout 20 ${_gt} train --stream csv:${_gd}/right_side_swing.csv --out \"${_go}/train.fifo\" --new-set --capture 0:6000 2>&1 >/dev/null; echo exit=$?; test -p \"${_go}/train.fifo\" && echo still a pipe")
set_tests_properties(gesturetool_train_onto_pipe PROPERTIES
  PASS_REGULAR_EXPRESSION "^gesturetool train: cannot write '[^']*train.fifo': it is not a regular file\nexit=2\nstill a pipe\n$")

# --set names the gesture --add and --replace work on; with --new-set it would be ignored.
add_test(NAME gesturetool_train_new_set_with_set
  COMMAND sh -c "${_gt} train --stream csv:${_gd}/right_side_swing.csv --out ${_go}/new_with_set.bin --new-set --set 3 --capture 0:6000 2>&1; echo exit=$?; test -e ${_go}/new_with_set.bin || echo nothing written")
set_tests_properties(gesturetool_train_new_set_with_set PROPERTIES
  PASS_REGULAR_EXPRESSION "^gesturetool train: --set and --gesture choose the gesture for --add and --replace; --new-set makes a set of its own\n(.|\n)*exit=2\nnothing written\n$")

# An example of a frame or two is stored, as the training screen would, with a warning.
add_test(NAME gesturetool_train_few_poses_warns
  COMMAND sh -c "${_gt} train --stream csv:${_gd}/right_side_swing.csv --out ${_go}/few.bin --new-set --interval 100:100 2>&1 >/dev/null; echo exit=$?")
set_tests_properties(gesturetool_train_few_poses_warns PROPERTIES
  PASS_REGULAR_EXPRESSION "^gesturetool train: warning: the example holds only 1 pose: a jump or a held pose, not a movement\nexit=0\n$")

# An interval that ends one frame past the stream (frames 0..185) names the stream's end.
add_test(NAME gesturetool_train_interval_past_the_end
  COMMAND sh -c "${_gt} train --stream csv:${_gd}/right_side_swing.csv --out ${_go}/past_end.bin --new-set --interval 100:186; echo exit=$?; test -e ${_go}/past_end.bin || echo nothing written")
set_tests_properties(gesturetool_train_interval_past_the_end PROPERTIES
  PASS_REGULAR_EXPRESSION "^not trained: the stream ends at frame 185, before frame 186\nexit=1\nnothing written\n$")

add_test(NAME gesturetool_train_never_resting
  COMMAND sh -c "${_gt} train --stream csv:${_gd}/always_moving.csv --out ${_go}/never.bin --new-set --capture 0:6000; echo exit=$?")
set_tests_properties(gesturetool_train_never_resting PROPERTIES
  PASS_REGULAR_EXPRESSION "^not trained: no rest, movement and rest captured between 0 and 6000 ms\nexit=1\n$")

add_test(NAME gesturetool_train_usage
  COMMAND sh -c "${_gt} train --stream csv:${_gd}/rest_only.csv --out ${_go}/x.bin --capture 0:10; echo exit=$?")
set_tests_properties(gesturetool_train_usage PROPERTIES PASS_REGULAR_EXPRESSION "usage: gesturetool train.*exit=2\n$")

# An empty value (an unset shell variable) is refused rather than training without the sets.
add_test(NAME gesturetool_train_empty_sets_value
  COMMAND sh -c "${_gt} train --stream=csv:${_gd}/rest_only.csv --out=${_go}/empty_sets.bin --sets= --new-set --capture 0:10; echo exit=$?; test -e ${_go}/empty_sets.bin || echo nothing written")
set_tests_properties(gesturetool_train_empty_sets_value PROPERTIES
  PASS_REGULAR_EXPRESSION "--sets needs a file name\n(.|\n)*exit=2\nnothing written\n$")

add_test(NAME gesturetool_train_add_without_sets
  COMMAND sh -c "${_gt} train --stream csv:${_gd}/rest_only.csv --out ${_go}/x.bin --add --interval 0:30; echo exit=$?")
set_tests_properties(gesturetool_train_add_without_sets PROPERTIES
  PASS_REGULAR_EXPRESSION "need an existing set: there is no set 0 \\(0 sets loaded, numbered from 0\\)\nexit=2\n$")

add_test(NAME gesturetool_recognize_two_gestures
  COMMAND sh -c "${_gt} recognize --sets ${_go}/two.bin --neighbours 1 csv:${_gd}/both_swings_noisy.csv 2>/dev/null; echo exit=$?")
set_tests_properties(gesturetool_recognize_two_gestures PROPERTIES
  FIXTURES_REQUIRED gesture_two_sets
  PASS_REGULAR_EXPRESSION "^frame 1[5-7][0-9], [0-9]+ ms: 1\nframe 2[4-6][0-9], [0-9]+ ms: 0\nexit=0\n$")

# The value of an option may follow an equals sign.
add_test(NAME gesturetool_recognize_json
  COMMAND sh -c "${_gt} recognise --json --sets=${_go}/two.bin --neighbours=1 --armed always csv:${_gd}/both_swings_noisy.csv 2>/dev/null; echo exit=$?")
set_tests_properties(gesturetool_recognize_json PROPERTIES
  FIXTURES_REQUIRED gesture_two_sets
  PASS_REGULAR_EXPRESSION "^{\"frame\":[0-9]+,\"time_ms\":[0-9]+,\"text\":\"1\"}\n{\"frame\":[0-9]+,\"time_ms\":[0-9]+,\"text\":\"0\"}\nexit=0\n$")

add_test(NAME gesturetool_inspect
  COMMAND sh -c "${_gt} inspect ${_go}/two.bin; echo exit=$?")
set_tests_properties(gesturetool_inspect PROPERTIES
  FIXTURES_REQUIRED gesture_two_sets
  PASS_REGULAR_EXPRESSION "': 2 sets, 2 gestures, [0-9]+ bytes\nset 0: RIGHT, 1 gestures\n  gesture 0: RIGHT, [0-9]+ poses, [0-9]+ skeletons\nset 1: RIGHT, 1 gestures\n(.|\n)*exit=0\n$")

# A set whose examples differ in length by more than DTW's band gets a note; the fixture's own
# set (one example) gets none.
add_test(NAME gesturetool_inspect_uneven_examples
  COMMAND sh -c "${_gt} train --stream csv:${_gd}/right_side_swing.csv --sets ${_go}/side.bin --out ${_go}/uneven.bin --add --interval 100:112 >/dev/null 2>&1 && ${_gt} inspect ${_go}/uneven.bin && ${_gt} inspect ${_go}/side.bin | grep -c note; echo exit=$?")
set_tests_properties(gesturetool_inspect_uneven_examples PROPERTIES
  FIXTURES_REQUIRED gesture_side_set
  PASS_REGULAR_EXPRESSION "  gesture 1: RIGHT, 13 poses, 13 skeletons\n  note: its examples keep 13 to [0-9]+ poses; DTW compares gestures only when their lengths differ by at most a tenth, so the longest and shortest never match the same movement\n0\nexit=1\n$")

add_test(NAME gesturetool_inspect_corrupt
  COMMAND sh -c "${_gt} inspect ${_gd}/rest_only.csv; echo exit=$?")
set_tests_properties(gesturetool_inspect_corrupt PROPERTIES
  PASS_REGULAR_EXPRESSION "^gesturetool inspect: gesture file '[^']*rest_only.csv': impossible set count [0-9-]+\nexit=2\n$")

# A flag given a value ("--json=") leaves an empty word: refused, not read as no stream.
add_test(NAME gesturetool_recognize_empty_word
  COMMAND sh -c "${_gt} recognize --json= --sets ${_go}/two.bin csv:${_gd}/both_swings_noisy.csv; echo exit=$?")
set_tests_properties(gesturetool_recognize_empty_word PROPERTIES
  PASS_REGULAR_EXPRESSION "an empty word where STREAM was expected\n(.|\n)*exit=2\n$")

add_test(NAME gesturetool_recognize_missing_sets
  COMMAND sh -c "${_gt} recognize --sets ${_go}/no_such.bin csv:${_gd}/rest_only.csv; echo exit=$?")
set_tests_properties(gesturetool_recognize_missing_sets PROPERTIES
  PASS_REGULAR_EXPRESSION "Cannot load from disk!\ngesture file '[^']*no_such.bin': cannot open: No such file or directory\nexit=2\n$")

# Disarmed at the start, and this performer's straight hanging arms are not the recogniser's
# rest reference (elbows 155, elevations 15), so nothing ever arms: no output.
add_test(NAME gesturetool_recognize_default_gesture_arming
  COMMAND sh -c "${_gt} recognize --sets ${_go}/two.bin --neighbours 1 --armed default-gesture csv:${_gd}/both_swings_noisy.csv 2>/dev/null; echo exit=$?")
set_tests_properties(gesturetool_recognize_default_gesture_arming PROPERTIES
  FIXTURES_REQUIRED gesture_two_sets PASS_REGULAR_EXPRESSION "^exit=0\n$")

# One gesture per set and the default three neighbours: no result can ever be reached, said
# once instead of a silent empty run.
add_test(NAME gesturetool_recognize_too_few_gestures
  COMMAND sh -c "{ ${_gt} recognize --sets ${_go}/two.bin csv:${_gd}/rest_only.csv 2>&1 >/dev/null; echo exit=$?; } | grep -E 'note|exit='")
set_tests_properties(gesturetool_recognize_too_few_gestures PROPERTIES
  FIXTURES_REQUIRED gesture_two_sets
  PASS_REGULAR_EXPRESSION "^gesturetool recognize: note: the RIGHT sets hold 2 gestures, fewer than the 3 neighbours a result needs, so they are never recognised \\(see --neighbours\\)\nexit=0\n$")

# A count past the int range was narrowed and wrapped (4294967297 ran as 1).
add_test(NAME gesturetool_recognize_too_many_neighbours
  COMMAND sh -c "{ ${_gt} recognize --sets x.bin --neighbours 4294967297 csv:x.csv 2>&1; echo exit=$?; } | sed -n '1p;$p'")
set_tests_properties(gesturetool_recognize_too_many_neighbours PROPERTIES
  PASS_REGULAR_EXPRESSION "^gesturetool recognize: --neighbours needs a number from 1 to 100000\nexit=2\n$")

# Capture times past the 32-bit range wrapped (4294967296 ran as 0).
add_test(NAME gesturetool_train_capture_out_of_range
  COMMAND sh -c "{ ${_gt} train --stream csv:x.csv --out x.bin --new-set --capture 4294967296:4294967297 2>&1; echo exit=$?; } | sed -n '1p;$p'")
set_tests_properties(gesturetool_train_capture_out_of_range PROPERTIES
  PASS_REGULAR_EXPRESSION "^gesturetool train: --capture needs A:B with 0 <= A <= B <= 2147483646\nexit=2\n$")

add_test(NAME gesturetool_recognize_unknown_measure
  COMMAND sh -c "{ ${_gt} recognize --sets x.bin --measure FOO csv:x.csv 2>&1; echo exit=$?; } | sed -n '1p;$p'")
set_tests_properties(gesturetool_recognize_unknown_measure PROPERTIES
  PASS_REGULAR_EXPRESSION "^gesturetool recognize: unknown measure 'FOO' \\(one of EUCLIDEAN, PEARSON_CORRELATION, PEARSON_CORRELATION_SQUARED, MODIFIED_EUCLIDEAN, MODIFIED_PEARSON, DTW, MODIFIED_DTW, FM, MODIFIED_FM, in any case, or its number 0..8\\)\nexit=2\n$")

# The output naming the stream (by any of its names) would replace the recording with the sets.
add_test(NAME gesturetool_train_onto_its_stream
  COMMAND sh -c "cp ${_gd}/right_side_swing.csv ${_go}/own_stream.csv && ${_gt} train --stream csv:${_go}/own_stream.csv --out ${_go}/./own_stream.csv --new-set --interval 20:80 2>&1; echo exit=$?; cmp -s ${_gd}/right_side_swing.csv ${_go}/own_stream.csv && echo stream kept")
set_tests_properties(gesturetool_train_onto_its_stream PROPERTIES
  PASS_REGULAR_EXPRESSION "^gesturetool train: '[^']*own_stream.csv' is the stream itself; choose another output file\nexit=2\nstream kept\n$")

# Output that cannot be written is a failure, not a success with a file cut short.
add_test(NAME gesturetool_output_not_written
  COMMAND sh -c "${_gt} poses csv:${_gd}/right_side_swing.csv > /dev/full; echo exit=$?")
set_tests_properties(gesturetool_output_not_written PROPERTIES
  PASS_REGULAR_EXPRESSION "^gesturetool poses: writing the output failed: No space left on device\nexit=1\n$")
