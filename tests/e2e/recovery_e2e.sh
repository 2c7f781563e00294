#!/usr/bin/env bash
# Edits (one undone with Ctrl+Z), the autosave, kill -9, a new start, Restore on its question, Y:
# nothing lost. Run in xvfb-run: recovery_e2e.sh KORVALIN RUN-FOLDER ARTIFACT-DIR
set -u && unset SDL_VIDEODRIVER && export SDL_AUDIODRIVER=dummy KORVALIN_AUTOSAVE_SECONDS=1 KORVALIN_TRACE_FRAMES=1
program=$1 run_folder=$2 artifacts=$3 work=$(mktemp -d) pid=
fail() { echo "FAIL: $*"; grep -v "^trace: pass" "$work/stderr.log" | tail -n 20; exit 1; }
trap '[ -n "$pid" ] && kill -9 "$pid" 2>/dev/null; rm -rf "$work"' EXIT
[ -d "$run_folder/data" ] || { echo "SKIP: no run folder at $run_folder"; exit 77; }
cp -r "$run_folder"/. "$work"/ && cd "$work" && mkdir -p "$artifacts" || fail "no work folder"

# 16 layer records; layer 1 holds one Box from 1.0 s for 3.0 s, Rotate X $1 (bytes), 45, 0, 1.5.
project() {
  printf '\x00\x00\x00\x01\x01\x00\x01\x00\x00\x00\x00\x00\x80\x3f\x00\x00\x40\x40'
  printf "$1"'\x00\x00\x34\x42\x00\x00\x00\x00\x00\x00\xc0\x3f'
  for layer in $(seq 2 15); do printf "\\x$(printf %02x "$layer")\\x00\\x00"; done
}
project '\x00\x00\xf0\x41' >save.brz && cp save.brz start.brz  # 30
project '\x00\x00\x04\x42' >expected.brz                       # 33

start() { env "$@" "$program" --editor 2>stderr.log & pid=$!; }
wait_for() {  # SECONDS WHAT COMMAND...
  for _ in $(seq $(($1 * 10))); do "${@:3}" && return 0; kill -0 "$pid" || fail "ended early"; sleep 0.1; done
  fail "no $2 after $1 s"
}
click() { xdotool sleep 1 mousemove "$1" "$2" sleep 0.3 mousedown 1 sleep 0.4 mouseup 1; }
key() { xdotool keydown "$@" sleep 0.4 keyup "$@" sleep 0.3; }
box() { xwininfo -root -tree | sed -n 's/^ *\(0x[0-9a-f]*\) "Unsaved changes":.*/\1/p' | head -n 1; }
asking() { [ -n "$(box)" ]; }

start KORVALIN_HEADLESS=1
wait_for 60 "first frame" grep -q "start to first frame" stderr.log
click 160 500 && click 150 635  # Stop (the view stays at time 0), the Box
xdotool mousemove 750 48 sleep 1 click 4 sleep 0.5 click 4 sleep 0.5 click 4 sleep 0.5  # Rotate X 33
key c && key ctrl z && key ctrl y  # a copy, undone; no save
cmp -s save.brz start.brz || fail "Ctrl+Y changed save.brz"
xdotool search --name "^Tamsilvo - Korvalin \*\$" >/dev/null || fail "the title does not show unsaved changes"
wait_for 10 "autosave of the edits" cmp -s save.brz.autosave expected.brz
kill -9 "$pid"

start -u KORVALIN_HEADLESS
wait_for 60 "recovery question" asking
xdotool sleep 0.5 && import -window root "$artifacts/recovery-e2e-question.png"
xdotool key --window "$(box)" Return  # Restore
wait_for 60 "first frame after the question" grep -q "start to first frame" stderr.log
xdotool sleep 1 mousemove 320 240 && key y
cmp -s save.brz expected.brz || fail "save.brz is not the edited project: $(od -An -tx1 save.brz | head -n 3)"
key Escape && wait "$pid" || fail "exit status $? after Escape"
echo "PASS"
