# Sourced by scripts/run. The programs run in build/, so the file names a user gives relative to
# where they started scripts/run (the gesture-set file, --script, --record, --screenshot and the
# file of --sensor replay:/csv:) are made absolute against that folder first.
#   program_args CALLER_DIR [program options...]
# sets PROGRAM_ARGS (the rewritten arguments) and PROGRAM_SCRIPTED (1 when --script is given).
program_args() {
  local caller=$1
  shift
  program_args_absolute() { case "$1" in '' | /*) printf '%s' "$1" ;; *) printf '%s/%s' "$caller" "$1" ;; esac; }
  PROGRAM_ARGS=()
  PROGRAM_SCRIPTED=0
  local ended=0 arg stream
  while [ $# -gt 0 ]; do
    arg=$1
    shift
    if [ "$ended" = 1 ]; then
      PROGRAM_ARGS+=("$(program_args_absolute "$arg")")
      continue
    fi
    case "$arg" in
      --)
        ended=1
        PROGRAM_ARGS+=("$arg")
        ;;
      --script | --record | --screenshot)
        PROGRAM_ARGS+=("$arg")
        # Another option in the value's place is left for the program to refuse as a missing value.
        if [ $# -gt 0 ] && [ "${1#--}" = "$1" ]; then
          [ "$arg" = --script ] && PROGRAM_SCRIPTED=1
          PROGRAM_ARGS+=("$(program_args_absolute "$1")")
          shift
        fi
        ;;
      --script=* | --record=* | --screenshot=*)
        case "$arg" in --script=*) PROGRAM_SCRIPTED=1 ;; esac
        PROGRAM_ARGS+=("${arg%%=*}=$(program_args_absolute "${arg#*=}")")
        ;;
      --sensor | --sensor=*)
        if [ "$arg" = --sensor ]; then
          if [ $# -eq 0 ] || [ "${1#--}" != "$1" ]; then
            PROGRAM_ARGS+=("$arg")
            continue
          fi
          stream=$1
          shift
        else
          stream=${arg#*=}
        fi
        case "$stream" in
          replay:*) stream="replay:$(program_args_absolute "${stream#replay:}")" ;;
          csv:*) stream="csv:$(program_args_absolute "${stream#csv:}")" ;;
        esac
        PROGRAM_ARGS+=("--sensor=$stream")
        ;;
      --frames | --fixed-step | --seed | --window | -display | -geometry)
        PROGRAM_ARGS+=("$arg")
        if [ $# -gt 0 ]; then
          PROGRAM_ARGS+=("$1")
          shift
        fi
        ;;
      -*) PROGRAM_ARGS+=("$arg") ;;
      *) PROGRAM_ARGS+=("$(program_args_absolute "$arg")") ;;
    esac
  done
}
