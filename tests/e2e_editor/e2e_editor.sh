#!/usr/bin/env bash
# The editor in --editor mode under Xvfb, driven with xdotool: select a clip by its bar, change a
# value with the wheel, duplicate, delete, make a clip through the dialogs, save, and compare
# save.brz byte for byte. Run inside xvfb-run with a 1024 x 768 screen:
#   e2e_editor.sh KORVALIN PROJECT-TOOL RUN-FOLDER ARTIFACT-DIR
# Exit 77 means skipped (no run folder yet).
set -u
case_name=editor program=$1 project_tool=$2 run_folder=$3 assetgen= artifacts=$4
source "$(dirname "$0")/../common/e2e_lib.sh"
"$project_tool" start "$work/save.brz" || fail "cannot write the starting project"
mkdir -p "$artifacts"
start --editor KORVALIN_HEADLESS=1
sleep 1

wheel_up() {  # one pass takes one wheel step: two in the same pass would count once
  point "$1" "$2"
  for _ in $(seq "$3"); do xdotool click 4; passes 2; done
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

quit
echo "PASS"
