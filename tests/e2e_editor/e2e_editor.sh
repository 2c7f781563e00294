#!/usr/bin/env bash
# The editor in --editor mode under Xvfb, driven with xdotool: select a clip by its bar, change a
# value with the wheel, duplicate, delete, make a clip through the dialogs, save, and compare
# save.brz byte for byte. Run inside xvfb-run with a 1024 x 768 screen:
#   e2e_editor.sh KORVALIN PROJECT-TOOL RUN-FOLDER ARTIFACT-DIR
# Exit 77 means skipped (no run folder yet).
set -u
# A real X11 window under Xvfb, whatever video driver the caller's environment names.
unset SDL_VIDEODRIVER
program=$1 project_tool=$2 run_folder=$3 artifacts=$4

work=$(mktemp -d)
pid=
fail() {
  echo "FAIL: $*"
  [ -f "$work/stderr.log" ] && sed 's/^/  stderr: /' "$work/stderr.log" | tail -n 20
  exit 1
}
cleanup() {
  [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null && kill "$pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# A copy of the run folder with our own project, so the real one is never touched.
[ -d "$run_folder/data" ] || { echo "SKIP: no run folder at $run_folder"; exit 77; }
cp -r "$run_folder"/. "$work"/
"$project_tool" start "$work/save.brz" || fail "cannot write the starting project"
mkdir -p "$artifacts"

(cd "$work" && exec env SDL_AUDIODRIVER=dummy KORVALIN_HEADLESS=1 KORVALIN_TRACE_FRAMES=1 \
  "$program" --editor >"$work/stdout.log" 2>"$work/stderr.log") &
pid=$!
for _ in $(seq 600); do
  grep -q "start to first frame" "$work/stderr.log" 2>/dev/null && break
  kill -0 "$pid" 2>/dev/null || fail "ended before its first frame"
  sleep 0.1
done
grep -q "start to first frame" "$work/stderr.log" || fail "no first frame after 60 s"
sleep 1

alive() { kill -0 "$pid" 2>/dev/null || fail "the program ended during the run"; }
# Buttons and keys are held over several passes, as a person holds them: a press and release
# that both arrive before a pass are never seen.
click() {
  alive
  xdotool mousemove "$1" "$2"
  sleep 0.3
  xdotool mousedown 1
  sleep 0.4
  xdotool mouseup 1
  sleep 0.3
}
wheel_up() {
  xdotool mousemove "$1" "$2"
  for _ in $(seq "$3"); do sleep 0.3; xdotool click 4; done
  sleep 0.3
}
key() {
  alive
  xdotool keydown "$1"
  sleep 0.4
  xdotool keyup "$1"
  sleep 0.3
}
shot() { import -window root "$artifacts/$1.png" || fail "no screenshot"; }
now() { date +%s.%N; }

click 160 500                     # Stop: play position back to 0, the view at time 0
stopped=$(now)
click 150 635                     # the Box bar on layer 1 (1.0 s to 4.0 s)
wheel_up 750 48 3                 # Rotate X 30 -> 33
shot editor-e2e-selected
key c                             # duplicate: a copy from 4.0 s to 7.0 s
key Delete                        # the original goes
key n                             # "Choose new operator"
shot editor-e2e-chooser
click 700 110                     # "Camera"
wheel_up 780 48 3                 # Layer 0 -> 3
shot editor-e2e-dialog
click 700 155                     # "Proceed"
after=$(now)
key y                             # save
shot editor-e2e-saved

# The new clip starts at the play position of the pass before "Proceed": between 0 and the time
# since Stop (plus slack for a pass in flight).
lowest=0
highest=$(echo "$after - $stopped + 0.5" | bc)
"$project_tool" check "$work/save.brz" "$lowest" "$highest" || fail "save.brz is not what the edits make"

key Escape
for _ in $(seq 100); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$pid" 2>/dev/null && fail "still running 10 s after Escape with everything saved"
wait "$pid"
status=$?
pid=
[ "$status" -eq 0 ] || fail "exit status $status, expected 0"
echo "PASS"
