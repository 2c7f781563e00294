#!/usr/bin/env bash
# The real program under Xvfb, driven with xdotool. Run inside xvfb-run:
#   shell_e2e.sh CASE KORVALIN RUN-FOLDER ASSETGEN MAKE-OGG CLOSE-WINDOW ARTIFACT-DIR
# CASE: shows-demo (ended by Escape) | close | f1-twice | music-end | editor-quit-saves (needs a
# 1024 x 768 screen). Exit 77 means skipped.
set -u
case_name=$1 program=$2 run_folder=$3 assetgen=$4 make_ogg=$5 close_window=$6 artifacts=$7
title="Tamsilvo - Korvalin"
source "$(dirname "$0")/../common/e2e_lib.sh"
if [ "$case_name" = music-end ]; then
  "$make_ogg" "$work/data/Vavorerid_by__qx_.ogg" 3000 || fail "cannot write the short music"
fi
mkdir -p "$artifacts"

shot() { import -window root -crop 640x480+0+0 +repage "$artifacts/$1.png" || fail "no screenshot"; }
colours() { identify -format '%k' "$artifacts/$1.png"; }

mode=--windowed
[ "$case_name" = editor-quit-saves ] && mode=--editor
start "$mode" KORVALIN_HEADLESS=1
xdotool mousemove 320 240

case $case_name in
  shows-demo)
    sleep 1
    shot shell-demo-1
    sleep 1.5
    shot shell-demo-2
    [ "$(colours shell-demo-1)" -gt 50 ] || fail "the picture is (nearly) one colour"
    differing=$(compare -metric AE "$artifacts/shell-demo-1.png" "$artifacts/shell-demo-2.png" null: 2>&1)
    [ "${differing%% *}" != 0 ] || fail "the picture does not change over time"
    escape
    ended 20
    ;;
  close)
    window=$(xdotool search --name "$title" | head -n 1)
    [ -n "$window" ] || fail "no window titled '$title'"
    "$close_window" "$window" || fail "cannot send the close request"
    ended 20
    ;;
  f1-twice)
    key F1
    wait_for 60 1 "F1 to first frame"
    grep -q "Mode Switch Failed" "$work/stderr.log" && echo "note: no exact display mode, the toggle stayed windowed"
    key F1
    wait_for 60 2 "F1 to first frame"
    sleep 1
    shot shell-after-f1-twice
    # Pictures come from textures: stale texture names of the old context would draw blank.
    [ "$(colours shell-after-f1-twice)" -gt 50 ] || fail "the picture after two toggles is (nearly) one colour"
    [ "$(xdotool search --name "$title" | wc -l)" -eq 1 ] || fail "expected exactly one window"
    escape
    ended 20
    ;;
  music-end)
    started=$(date +%s)
    ended 40
    [ $(( $(date +%s) - started )) -ge 1 ] || fail "ended too soon to have played the music"
    ;;
  editor-quit-saves)
    before=$(md5sum <"$work/save.brz")
    # Select the clip on layer 0 (moved over first: a click reads the position of the last
    # move), duplicate it with C, then Escape: headless, the question answers "Save".
    click 300 611
    key c
    escape
    ended 20
    grep -q 'unsaved changes.*Answered "Save"' "$work/stderr.log" || fail "no quit question on standard error"
    [ "$(md5sum <"$work/save.brz")" != "$before" ] || fail "save.brz was not written"
    ;;
  *)
    fail "unknown case"
    ;;
esac
[ "$status" -eq 0 ] || fail "exit status $status, expected 0"
grep "^trace:" "$work/stderr.log" | grep -v "^trace: pass"
echo "PASS ($case_name)"
