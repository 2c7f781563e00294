#!/usr/bin/env bash
# Edits (one undone with Ctrl+Z), the autosave, kill -9, a new start, Restore on its question, Y:
# nothing lost. Run in xvfb-run: recovery_e2e.sh KORVALIN RUN-FOLDER ARTIFACT-DIR
set -u
program=$1 run_folder=$2 artifacts=$3 case_name=recovery assetgen=
. "$(dirname "$0")/e2e_lib.sh"
cd "$work" && mkdir -p "$artifacts" || fail "no work folder"
export KORVALIN_AUTOSAVE_SECONDS=1

# 16 layer records; layer 1 holds one Box from 1.0 s for 3.0 s, Rotate X $1 (bytes), 45, 0, 1.5.
project() {
  printf '\x00\x00\x00\x01\x01\x00\x01\x00\x00\x00\x00\x00\x80\x3f\x00\x00\x40\x40'
  printf "$1"'\x00\x00\x34\x42\x00\x00\x00\x00\x00\x00\xc0\x3f'
  for layer in $(seq 2 15); do printf "\\x$(printf %02x "$layer")\\x00\\x00"; done
}
project '\x00\x00\xf0\x41' >save.brz && cp save.brz start.brz  # 30
project '\x00\x00\x04\x42' >expected.brz                       # 33
box() { xwininfo -root -tree | sed -n 's/^ *\(0x[0-9a-f]*\) "Unsaved changes":.*/\1/p' | head -n 1; }
asking() { [ -n "$(box)" ]; }
within() {  # within SECONDS WHAT COMMAND...: until the command succeeds
  for _ in $(seq $(($1 * 10))); do "${@:3}" && return 0; alive; sleep 0.1; done
  fail "no $2 after $1 s"
}

start --editor KORVALIN_HEADLESS=1
click 160 500 && click 150 635  # Stop (the view stays at time 0), the Box
point 750 48
for _ in 1 2 3; do xdotool click 4; passes 2; done  # Rotate X 33
key c && key ctrl+z && key ctrl+y  # a copy, undone; no save
cmp -s save.brz start.brz || fail "Ctrl+Y changed save.brz"
xdotool search --name "^Tamsilvo - Korvalin \*\$" >/dev/null || fail "the title does not show unsaved changes"
within 10 "autosave of the edits" cmp -s save.brz.autosave expected.brz
kill -9 "$pid" && wait "$pid" 2>/dev/null

launch --editor -u KORVALIN_HEADLESS
within 60 "recovery question" asking
xdotool sleep 0.5 && import -window root "$artifacts/recovery-e2e-question.png"
xdotool key --window "$(box)" Return  # Restore
wait_for 60 1 "start to first frame"
point 320 240 && key y
cmp -s save.brz expected.brz || fail "save.brz is not the edited project: $(od -An -tx1 save.brz | head -n 3)"
quit
echo "PASS"
