#!/usr/bin/env bash
# The editor in --editor mode under Xvfb, driven with xdotool: select a clip by its bar, change a
# value with the wheel, duplicate, delete, make a clip through the dialogs, save, and compare
# save.brz byte for byte. Run inside xvfb-run with a 1024 x 768 screen:
#   e2e_editor.sh KORVALIN PROJECT-TOOL RUN-FOLDER ARTIFACT-DIR
# Exit 77 means skipped (no run folder yet).
set -u
program=$1 project_tool=$2 run_folder=$3 artifacts=$4
label=editor
. "$(dirname "$0")/../e2e/e2e_lib.sh"

# A copy of the run folder with our own project, so the real one is never touched.
[ -d "$run_folder/data" ] || { echo "SKIP: no run folder at $run_folder"; exit 77; }
cp -r "$run_folder"/. "$work"/
"$project_tool" start "$work/save.brz" || fail "cannot write the starting project"
mkdir -p "$artifacts"
shot() { import -window root "$artifacts/$1.png" || fail "no screenshot"; }
start --editor
[ "$(geometry)" = 1024x768 ] || fail "window of $(geometry)"
wraps 767 2                       # the cursor wraps from the bottom edge to the top

click 160 500                     # Stop: play position back to 0, the view at time 0
stopped=$(date +%s.%N)
click 150 635                     # the Box bar on layer 1 (1.0 s to 4.0 s)
wheel 750 48 3                    # Rotate X 30 -> 33
shot editor-e2e-selected
press c                           # duplicate: a copy from 4.0 s to 7.0 s
press Delete                      # the original goes
press n                           # "Choose new operator"
shot editor-e2e-chooser
click 700 110                     # "Camera"
wheel 780 48 3                    # Layer 0 -> 3
shot editor-e2e-dialog
click 700 155                     # "Proceed"
after=$(date +%s.%N)
press y                           # save
shot editor-e2e-saved
# The canvas around the demo in the top-left 640 x 480: its background, the Play button's face
# and the empty row of layer 4; the demo itself is not the canvas.
[ "$(pixel editor-e2e-saved 900 300)" = 199,193,184 ] || fail "canvas at (900, 300): $(pixel editor-e2e-saved 900 300)"
[ "$(pixel editor-e2e-saved 22 492)" = 171,165,157 ] || fail "Play at (22, 492): $(pixel editor-e2e-saved 22 492)"
[ "$(pixel editor-e2e-saved 1000 708)" = 167,165,160 ] || fail "row 4 at (1000, 708): $(pixel editor-e2e-saved 1000 708)"
[ "$(pixel editor-e2e-saved 320 240)" != 199,193,184 ] || fail "no demo at (320, 240)"

# The new clip starts at the play position of the pass before "Proceed": between 0 and the time
# since Stop (plus slack for a pass in flight).
"$project_tool" check "$work/save.brz" 0 "$(echo "$after - $stopped + 0.5" | bc)" ||
  fail "save.brz is not what the edits make"
press Escape
wait_exit 10
[ "$status" -eq 0 ] || fail "exit status $status, expected 0"
echo "PASS"
