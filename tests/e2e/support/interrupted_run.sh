#!/usr/bin/env bash
# Usage: interrupted_run.sh PROGRAM GESTURETOOL OUT_DIR SIGNAL
#        interrupted_run.sh PROGRAM GESTURETOOL OUT_DIR CLOSE CLOSE_WINDOW TITLE
# Starts PROGRAM recording and with a screenshot to take, sends SIGNAL (or, with CLOSE, has
# CLOSE_WINDOW press the close button of the window titled TITLE) once the recording has grown,
# and checks that the run ended as Escape ends it: exit code 128 + the signal's number (0 for a
# closed window), the screenshot saved and the recording finished whole (it replays without a
# cut-short warning).
set -u
# Job control, as in an interactive shell: a script's background job would ignore SIGINT.
set -m
program=$1 gesturetool=$2 out=$3 signal=$4
rm -rf "$out" && mkdir -p "$out"
"$program" --fixed-step 33 --record "$out/run.rec" --screenshot "$out/run.png" > "$out/run.log" 2>&1 &
pid=$!
for _ in $(seq 1200); do
  size=$(stat -c %s "$out/run.rec" 2>/dev/null || echo 0)
  [ "$size" -gt 2000000 ] && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
if [ "$signal" = CLOSE ]; then
  "$5" "$6" || { kill -9 "$pid"; exit 1; }
  expected=0
else
  kill -s "$signal" "$pid"
  expected=$((128 + $(kill -l "$signal")))
fi
for _ in $(seq 300); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then
  kill -9 "$pid"
  echo "still running 30 s after $signal"
  exit 1
fi
wait "$pid"
rc=$?
cat "$out/run.log"
[ "$rc" = "$expected" ] || { echo "exit code $rc, expected $expected"; exit 1; }
[ -s "$out/run.png" ] || { echo "no screenshot"; exit 1; }
"$gesturetool" poses "replay:$out/run.rec" > /dev/null 2> "$out/replay.log" || { cat "$out/replay.log"; exit 1; }
if [ -s "$out/replay.log" ]; then
  echo "the recording does not replay cleanly:"; cat "$out/replay.log"; exit 1
fi
echo "ended by $signal with code $rc; screenshot and recording whole"
