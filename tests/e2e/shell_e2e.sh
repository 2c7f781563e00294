#!/usr/bin/env bash
# The real program under Xvfb, driven with xdotool. Run inside xvfb-run:
#   shell_e2e.sh CASE KORVALIN RUN-FOLDER ASSETGEN MAKE-OGG CLOSE-WINDOW ARTIFACT-DIR
# CASE: shows-demo (ended by Escape) | close | f1-twice | music-end | editor-quit-saves (needs a
# 1024 x 768 screen). Exit 77 means skipped.
set -u
# A real X11 window under Xvfb, whatever video driver the caller's environment names.
unset SDL_VIDEODRIVER
case_name=$1 program=$2 run_folder=$3 assetgen=$4 make_ogg=$5 close_window=$6 artifacts=$7
title="Tamsilvo - Korvalin"

fail() { echo "FAIL ($case_name): $*"; [ -f "$work/stderr.log" ] && sed 's/^/  stderr: /' "$work/stderr.log" | tail -n 20; exit 1; }

work=$(mktemp -d)
pid=
cleanup() {
  [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null && kill "$pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# A copy of the run folder, so that nothing the program does touches the real one.
if [ -d "$run_folder/data" ]; then
  cp -r "$run_folder"/. "$work"/
elif [ -x "$assetgen" ]; then
  "$assetgen" "$work" >/dev/null 2>&1 || fail "the asset generator failed"
else
  echo "SKIP: no run folder at $run_folder and no asset generator to make one"
  exit 77
fi
if [ "$case_name" = music-end ]; then
  "$make_ogg" "$work/data/Vavorerid_by__qx_.ogg" 3000 || fail "cannot write the short music"
fi
mkdir -p "$artifacts"

# Waits up to $1 seconds for the program to end; sets status.
wait_exit() {
  for _ in $(seq $(( $1 * 10 ))); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$pid" 2>/dev/null && fail "still running after $1 s"
  wait "$pid"
  status=$?
  pid=
}

# Waits up to $1 seconds until standard error holds $2 lines matching $3.
wait_trace() {
  for _ in $(seq $(( $1 * 10 ))); do
    [ "$(grep -c "$3" "$work/stderr.log" 2>/dev/null)" -ge "$2" ] && return 0
    kill -0 "$pid" 2>/dev/null || fail "ended while waiting for '$3'"
    sleep 0.1
  done
  fail "no '$3' after $1 s"
}

# A key held long enough for a pass to see it, as a person presses it.
press() { xdotool mousemove 320 240 keydown "$1" sleep 0.4 keyup "$1"; }

shot() { import -window root -crop 640x480+0+0 +repage "$artifacts/$1.png" || fail "no screenshot"; }
colours() { identify -format '%k' "$artifacts/$1.png"; }

mode=--windowed
[ "$case_name" = editor-quit-saves ] && mode=--editor
(cd "$work" && exec env SDL_AUDIODRIVER=dummy KORVALIN_HEADLESS=1 KORVALIN_TRACE_FRAMES=1 \
  "$program" "$mode" >"$work/stdout.log" 2>"$work/stderr.log") &
pid=$!
wait_trace 60 1 "start to first frame"

case $case_name in
  shows-demo)
    sleep 1
    shot shell-demo-1
    sleep 1.5
    shot shell-demo-2
    [ "$(colours shell-demo-1)" -gt 50 ] || fail "the picture is (nearly) one colour"
    differing=$(compare -metric AE "$artifacts/shell-demo-1.png" "$artifacts/shell-demo-2.png" null: 2>&1)
    [ "${differing%% *}" != 0 ] || fail "the picture does not change over time"
    press Escape
    wait_exit 20
    ;;
  close)
    window=$(xdotool search --name "$title" | head -n 1)
    [ -n "$window" ] || fail "no window titled '$title'"
    "$close_window" "$window" || fail "cannot send the close request"
    wait_exit 20
    ;;
  f1-twice)
    press F1
    wait_trace 60 1 "F1 to first frame"
    grep -q "Mode Switch Failed" "$work/stderr.log" && echo "note: no exact display mode, the toggle stayed windowed"
    press F1
    wait_trace 60 2 "F1 to first frame"
    sleep 1
    shot shell-after-f1-twice
    # Pictures come from textures: stale texture names of the old context would draw blank.
    [ "$(colours shell-after-f1-twice)" -gt 50 ] || fail "the picture after two toggles is (nearly) one colour"
    [ "$(xdotool search --name "$title" | wc -l)" -eq 1 ] || fail "expected exactly one window"
    press Escape
    wait_exit 20
    ;;
  music-end)
    started=$(date +%s)
    wait_exit 40
    [ $(( $(date +%s) - started )) -ge 1 ] || fail "ended too soon to have played the music"
    ;;
  editor-quit-saves)
    before=$(md5sum <"$work/save.brz")
    # Select the clip on layer 0 (moved over first: a click reads the position of the last
    # move), duplicate it with C, then Escape: headless, the question answers "Save".
    xdotool mousemove 300 611 sleep 0.4 mousedown 1 sleep 0.4 mouseup 1 sleep 0.3
    press c
    press Escape
    wait_exit 20
    grep -q 'unsaved changes.*Answered "Save"' "$work/stderr.log" || fail "no quit question on standard error"
    [ "$(md5sum <"$work/save.brz")" != "$before" ] || fail "save.brz was not written"
    ;;
  *)
    fail "unknown case"
    ;;
esac
[ "$status" -eq 0 ] || fail "exit status $status, expected 0"
grep "^trace:" "$work/stderr.log"
echo "PASS ($case_name)"
