# gesturetool's stream commands (poses, convert) and its command line, run on the small csv
# streams in tests/data/streams. Commands whose exit code matters run through sh and print it.
set(_gt $<TARGET_FILE:gesturetool>)
set(_streams ${PROJECT_SOURCE_DIR}/tests/data/streams)
set(_out ${CMAKE_CURRENT_BINARY_DIR})
# CMake's regular expressions have no {n}: the 18 pose values of a line, spelled out.
set(_pose "")
foreach(_i RANGE 1 18)
  string(APPEND _pose ",[-+0-9.eainf]+")
endforeach()

add_test(NAME gesturetool_help COMMAND sh -c "${_gt} --help; echo exit=$?")
set_tests_properties(gesturetool_help PROPERTIES
  PASS_REGULAR_EXPRESSION "poses \\[--unsmoothed\\] STREAM.*convert STREAM OUT.rec.*train.*recognize.*inspect.*exit=0\n$")

# Every command answers --help with its usage and exit code 0, not with an error about its
# arguments.
foreach(_command poses convert train recognize inspect)
  add_test(NAME gesturetool_${_command}_help COMMAND sh -c "${_gt} ${_command} --help; echo exit=$?")
  set_tests_properties(gesturetool_${_command}_help PROPERTIES
    PASS_REGULAR_EXPRESSION "^usage: gesturetool ${_command} .*exit=0\n$")
endforeach()

# Usage that cannot be written (a full disk) is a failure too.
add_test(NAME gesturetool_help_not_written
  COMMAND sh -c "${_gt} --help > /dev/full; echo exit=$?; ${_gt} train --help > /dev/full; echo exit=$?; ${_gt} inspect --help > /dev/full; echo exit=$?")
set_tests_properties(gesturetool_help_not_written PROPERTIES PASS_REGULAR_EXPRESSION
  "^gesturetool --help: writing the output failed: No space left on device\nexit=1\ngesturetool train: writing the output failed: No space left on device\nexit=1\ngesturetool inspect: writing the output failed: No space left on device\nexit=1\n$")

add_test(NAME gesturetool_version COMMAND sh -c "${_gt} --version; echo exit=$?")
set_tests_properties(gesturetool_version PROPERTIES PASS_REGULAR_EXPRESSION "^gesturetool [0-9]+\\.[0-9]+\\.[0-9]+\nexit=0\n$")

add_test(NAME gesturetool_no_command COMMAND sh -c "${_gt}; echo exit=$?")
set_tests_properties(gesturetool_no_command PROPERTIES PASS_REGULAR_EXPRESSION "usage: gesturetool COMMAND.*exit=2")

add_test(NAME gesturetool_unknown_command COMMAND sh -c "${_gt} frobnicate; echo exit=$?")
set_tests_properties(gesturetool_unknown_command PROPERTIES
  PASS_REGULAR_EXPRESSION "unknown command 'frobnicate'.*exit=2")

add_test(NAME gesturetool_poses_arms_down COMMAND sh -c "${_gt} poses csv:${_streams}/arms_down.csv; echo exit=$?")
set_tests_properties(gesturetool_poses_arms_down PROPERTIES
  PASS_REGULAR_EXPRESSION "^# frame,time_ms,elbow_left,[^\n]*,right_reach\n0,0${_pose}\n1,33${_pose}\n.*\n89,2966${_pose}\nexit=0\n$")

add_test(NAME gesturetool_poses_usage COMMAND sh -c "${_gt} poses; echo exit=$?")
set_tests_properties(gesturetool_poses_usage PROPERTIES PASS_REGULAR_EXPRESSION "usage: gesturetool poses \\[--unsmoothed\\] STREAM.*exit=2")

add_test(NAME gesturetool_poses_missing_file COMMAND sh -c "${_gt} poses csv:${_out}/no_such_stream.csv; echo exit=$?")
set_tests_properties(gesturetool_poses_missing_file PROPERTIES
  PASS_REGULAR_EXPRESSION "^gesturetool poses: csv '[^']*no_such_stream.csv': cannot open: No such file or directory\nexit=2\n$")

add_test(NAME gesturetool_poses_not_a_stream COMMAND sh -c "${_gt} poses ${_streams}/arms_down.csv; echo exit=$?")
set_tests_properties(gesturetool_poses_not_a_stream PROPERTIES
  PASS_REGULAR_EXPRESSION "expected csv:FILE or replay:FILE\nexit=2")

add_test(NAME gesturetool_poses_replay_of_text COMMAND sh -c "${_gt} poses replay:${_streams}/arms_down.csv; echo exit=$?")
set_tests_properties(gesturetool_poses_replay_of_text PROPERTIES
  PASS_REGULAR_EXPRESSION "arms_down.csv': not a recording \\(bad magic number\\); a text skeleton stream is played with csv:FILE\nexit=2")

# Malformed lines are skipped with their line numbers; the good frames still come out. A time
# stamp that goes back is said once and its frame follows one frame after the previous one.
add_test(NAME gesturetool_poses_malformed COMMAND sh -c
  "${_gt} poses csv:${_streams}/malformed.csv 2>${_out}/malformed.err >${_out}/malformed.out; echo exit=$?; cat ${_out}/malformed.err ${_out}/malformed.out")
set_tests_properties(gesturetool_poses_malformed PROPERTIES
  PASS_REGULAR_EXPRESSION "^exit=0\n[^\n]*line 3: expected 81 values[^\n]*found 9 \\(line skipped\\)\n[^\n]*line 4: value 2 is not finite[^\n]*\n[^\n]*line 5: the time stamp goes back by 100000 microseconds; the stream goes on one frame later\n# frame[^\n]*\n0,0,[^\n]*\n1,33,[^\n]*\n2,233,[^\n]*\n$")

# A converted stream replays to exactly the same poses.
add_test(NAME gesturetool_convert_round_trip COMMAND sh -c
  "${_gt} convert csv:${_streams}/right_arm_forward.csv ${_out}/forward.rec && ${_gt} poses replay:${_out}/forward.rec >${_out}/forward_replay.txt && ${_gt} poses csv:${_streams}/right_arm_forward.csv >${_out}/forward_csv.txt && cmp ${_out}/forward_replay.txt ${_out}/forward_csv.txt && echo identical")
set_tests_properties(gesturetool_convert_round_trip PROPERTIES
  PASS_REGULAR_EXPRESSION "^wrote 90 frames to [^\n]*forward.rec\nidentical\n$")

# Converting a file onto itself would replace the stream with its own recording: refused, file
# untouched.
add_test(NAME gesturetool_convert_onto_input COMMAND sh -c
  "cp ${_streams}/arms_down.csv ${_out}/self.csv && ${_gt} convert csv:${_out}/self.csv ${_out}/self.csv; echo exit=$?; cmp ${_out}/self.csv ${_streams}/arms_down.csv && echo untouched")
set_tests_properties(gesturetool_convert_onto_input PROPERTIES
  PASS_REGULAR_EXPRESSION "is the input itself[^\n]*\nexit=2\nuntouched\n$")

# An empty output name (an unset variable) is a bad argument.
add_test(NAME gesturetool_convert_empty_output COMMAND sh -c
  "${_gt} convert csv:${_streams}/arms_down.csv ''; echo exit=$?")
set_tests_properties(gesturetool_convert_empty_output PROPERTIES
  PASS_REGULAR_EXPRESSION "^gesturetool convert: the output file name is empty\nexit=2\n$")

add_test(NAME gesturetool_convert_unwritable COMMAND sh -c
  "${_gt} convert csv:${_streams}/arms_down.csv ${_out}/no_such_dir/out.rec; echo exit=$?")
set_tests_properties(gesturetool_convert_unwritable PROPERTIES
  PASS_REGULAR_EXPRESSION "cannot create a file beside '[^\n]*no_such_dir/out.rec': No such file or directory\nexit=1")

# A conversion that fails half way (a full disk, here a file size limit) keeps the file that was
# there and leaves no temporary beside it.
add_test(NAME gesturetool_convert_full_disk_keeps_old_file COMMAND bash -c
  "rm -rf \"${_out}/full\" && mkdir \"${_out}/full\" && cp ${_streams}/arms_down.csv \"${_out}/full\"/keep.rec && (ulimit -f 4 && exec ${_gt} convert csv:${_streams}/arms_down.csv \"${_out}/full\"/keep.rec); echo exit=$?; cmp \"${_out}/full\"/keep.rec ${_streams}/arms_down.csv && echo untouched; ls \"${_out}/full\"")
set_tests_properties(gesturetool_convert_full_disk_keeps_old_file PROPERTIES
  PASS_REGULAR_EXPRESSION "^recording '[^\n]*keep.rec': write failed in frame [0-9]+: File too large \\(recording stopped\\)\nexit=1\nuntouched\nkeep.rec\n$")

# Writes a csv stream of N frames (the last argument) of arms_down.csv's poses, 30 a second:
# long enough to still be converting when a signal comes.
# Shell function: waits (up to 20 s) until a temporary named PATTERN.* under DIR has content,
# so that a signal lands while the conversion writes. Usage: await_temporary DIR PATTERN.
set(_await_temporary "await_temporary() { for i in $(seq 400); do test -n \"$(find \"$1\" -name \"$2.*\" -size +0)\" && break; sleep 0.05; done; }")
set(_long_stream "python3 -c \"import sys; rows=[l.split(None, 1)[1] for l in open(sys.argv[1]) if l.strip() and not l.startswith('#')]; [print(33333 * i, rows[i % len(rows)], end='') for i in range(int(sys.argv[2]))]\" ${_streams}/arms_down.csv")

# An interrupted conversion removes its temporary and leaves the earlier file as it was.
add_test(NAME gesturetool_convert_interrupted COMMAND bash -c
  "d=\"${_out}/interrupted\" && rm -rf \"$d\" && mkdir \"$d\" && ${_long_stream} 3000 > \"$d\"/long.csv && printf old > \"$d\"/out.rec && ${_await_temporary} && { ${_gt} convert csv:\"$d\"/long.csv \"$d\"/out.rec & pid=$!; await_temporary \"$d\" out.rec; kill -TERM $pid; wait $pid; echo exit=$?; cat \"$d\"/out.rec; echo; ls \"$d\"; }")
set_tests_properties(gesturetool_convert_interrupted PROPERTIES
  PASS_REGULAR_EXPRESSION "exit=143\nold\nlong.csv\nout.rec\n$")

# A conversion started to ignore hangups (nohup) is not ended by one; an output name that looks
# like --option=VALUE is taken as it stands by a command without options.
add_test(NAME gesturetool_convert_ignoring_hangups COMMAND bash -c
  "d=\"${_out}/nohup\" && rm -rf \"$d\" && mkdir \"$d\" && ${_long_stream} 600 > \"$d\"/long.csv && cd \"$d\" && ${_await_temporary} && { bash -c \"trap '' HUP; exec ${_gt} convert csv:long.csv --a=b.rec\" & pid=$!; await_temporary . --a=b.rec; kill -HUP $pid; wait $pid; echo exit=$?; ls; }")
set_tests_properties(gesturetool_convert_ignoring_hangups PROPERTIES
  PASS_REGULAR_EXPRESSION "wrote 600 frames to --a=b.rec\nexit=0\n--a=b.rec\nlong.csv\n$")

# The recording gets the permissions of a new file only once it is written: a umask that leaves
# the owner no write permission must not stop the tool writing it. Run as an ordinary user, as
# the permission bits do not bind root.
add_test(NAME gesturetool_convert_strict_umask COMMAND bash -c
  "d=$(mktemp -d /tmp/convert_umask.XXXXXX) && chmod 755 $d && mkdir -m 777 $d/out && cp ${_gt} ${_streams}/arms_down.csv $d/ && as_user() { if [ $(id -u) = 0 ]; then setpriv --reuid=65534 --regid=65534 --clear-groups \"$@\"; else \"$@\"; fi; }; as_user sh -c \"umask 0277; $d/gesturetool convert csv:$d/arms_down.csv $d/out/a.rec\"; echo exit=$?; stat -c %A $d/out/a.rec; ls $d/out; rm -rf $d")
set_tests_properties(gesturetool_convert_strict_umask PROPERTIES
  PASS_REGULAR_EXPRESSION "wrote 90 frames to [^\n]*a.rec\nexit=0\n-r--------\na.rec\n$")

# Something that is not a regular file is refused before anything is written: a pipe would
# block the conversion for ever, and a device or folder must not be replaced.
add_test(NAME gesturetool_convert_onto_pipe COMMAND bash -c
  "rm -f \"${_out}/convert.fifo\" && mkfifo \"${_out}/convert.fifo\" && timeout 20 ${_gt} convert csv:${_streams}/arms_down.csv \"${_out}/convert.fifo\"; echo exit=$?; test -p \"${_out}/convert.fifo\" && echo still a pipe")
set_tests_properties(gesturetool_convert_onto_pipe PROPERTIES
  PASS_REGULAR_EXPRESSION "convert.fifo': not a regular file[^\n]*\nexit=1\nstill a pipe\n$")

# convert's result is the recording: a status line that cannot be printed does not fail it.
add_test(NAME gesturetool_convert_status_line_lost COMMAND sh -c
  "rm -f \"${_out}/status.rec\"; ${_gt} convert csv:${_streams}/arms_down.csv \"${_out}/status.rec\" > /dev/full; echo exit=$? >&2; test -s \"${_out}/status.rec\" && echo written >&2")
set_tests_properties(gesturetool_convert_status_line_lost PROPERTIES PASS_REGULAR_EXPRESSION "^exit=0\nwritten\n$")
