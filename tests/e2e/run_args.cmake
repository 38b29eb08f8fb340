# scripts/run starts the program in build/, so the file names a user gives relative to the folder
# they started it from must reach the program made absolute against that folder; options and
# their numbers must pass unchanged. This file is also the test's script (cmake -P).
if(NOT CMAKE_SCRIPT_MODE_FILE)
  add_test(NAME scripts_run_arguments
           COMMAND ${CMAKE_COMMAND} -DLIB=${PROJECT_SOURCE_DIR}/scripts/program_args.sh
                   -P ${CMAKE_CURRENT_LIST_FILE})
  set_tests_properties(scripts_run_arguments PROPERTIES LABELS e2e TIMEOUT 60)
  return()
endif()
cmake_minimum_required(VERSION 3.18)

function(check name expected_scripted)
  set(args ${ARGN})
  list(FIND args "=>" at)
  list(SUBLIST args 0 ${at} given)
  math(EXPR after "${at} + 1")
  list(SUBLIST args ${after} -1 expected)
  # One argument per line, then the scripted flag.
  execute_process(COMMAND bash -c "source \"$0\"; program_args /home/u/work \"\$@\"; printf '%s\\n' \"\${PROGRAM_ARGS[@]}\" \"scripted=\$PROGRAM_SCRIPTED\""
                          ${LIB} ${given}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${name}: bash exited with ${rc}: ${err}")
  endif()
  string(REPLACE "\n" ";" got "${out}")
  list(POP_BACK got)  # the empty string after the last line end
  list(APPEND expected "scripted=${expected_scripted}")
  if(NOT "${got}" STREQUAL "${expected}")
    message(FATAL_ERROR "${name}:\n  given    ${given}\n  got      ${got}\n  expected ${expected}")
  endif()
endfunction()

check("files made absolute" 1
      sets.bin --script s.scn --record=r/x.rec --screenshot /abs.png
      => /home/u/work/sets.bin --script /home/u/work/s.scn --record=/home/u/work/r/x.rec --screenshot /abs.png)
check("streams" 0
      --sensor csv:a.csv
      => --sensor=csv:/home/u/work/a.csv)
check("inline stream and script" 1
      --sensor=replay:../x.rec --script=s.scn
      => --sensor=replay:/home/u/work/../x.rec --script=/home/u/work/s.scn)
check("numbers and window-system values unchanged" 0
      --frames 10 --fixed-step 33 --seed 7 --window 800x600 -display :5 -iconic --demo --sensor synthetic
      => --frames 10 --fixed-step 33 --seed 7 --window 800x600 -display :5 -iconic --demo --sensor=synthetic)
check("after -- every argument is a file" 0
      --demo -- -odd.bin
      => --demo -- /home/u/work/-odd.bin)
check("a missing value is left for the program to refuse" 0
      --screenshot --frames 3 --script --demo --sensor --seed 2
      => --screenshot --frames 3 --script --demo --sensor --seed 2)
check("names with spaces stay whole" 0
      "my sets.bin" --record "takes/first take.rec"
      => "/home/u/work/my sets.bin" --record "/home/u/work/takes/first take.rec")
