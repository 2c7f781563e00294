#!/usr/bin/env bash
# Nothing lost, nothing stuck: the real program under Xvfb, keys and buttons held as a person
# holds them. Run inside xvfb-run:
#   nothing_lost_e2e.sh CASE KORVALIN RUN-FOLDER ASSETGEN CLOSE-WINDOW
# CASE: unreadable-kept | save-through-link | f1-held | error-box-owner (640 x 480 screen);
# button-held-over-f1 | chooser-press (1024 x 768 screen). Exit 77 means skipped.
set -u
unset SDL_VIDEODRIVER
case_name=$1 program=$2 run_folder=$3 assetgen=$4 close_window=$5
title="Tamsilvo - Korvalin"

work=$(mktemp -d)
pid=
fail() {
  echo "FAIL ($case_name): $*"
  [ -f "$work/stderr.log" ] && grep -v "^trace: pass" "$work/stderr.log" | sed "s/^/  stderr: /" | tail -n 40
  exit 1
}
cleanup() {
  [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null && kill "$pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

if [ -d "$run_folder/data" ]; then
  cp -r "$run_folder"/. "$work"/
elif [ -x "$assetgen" ]; then
  "$assetgen" "$work" >/dev/null 2>&1 || fail "the asset generator failed"
else
  echo "SKIP: no run folder at $run_folder and no asset generator to make one"
  exit 77
fi
cd "$work" || fail "no work folder"

# The project of 16 empty layers, as the program saves it.
empty_project() { for layer in $(seq 0 15); do printf "\\$(printf %o "$layer")\\0\\0"; done; }

start() {  # start MODE [ENV...]
  local mode=$1
  shift
  env "$@" SDL_AUDIODRIVER=dummy KORVALIN_TRACE_FRAMES=2 "$program" "$mode" >stdout.log 2>stderr.log &
  pid=$!
}
alive() { kill -0 "$pid" 2>/dev/null || fail "the program ended during the run"; }
# Waits up to $1 seconds until standard error holds $2 lines matching $3.
wait_trace() {
  for _ in $(seq $(( $1 * 10 ))); do
    [ "$(grep -c "$3" stderr.log 2>/dev/null)" -ge "$2" ] && return 0
    alive
    sleep 0.1
  done
  fail "no '$3' after $1 s"
}
key() { alive; xdotool keydown "$1" sleep "${2:-0.4}" keyup "$1" sleep 0.3; }
click() { alive; xdotool mousemove "$1" "$2" sleep 0.3 mousedown 1 sleep 0.4 mouseup 1 sleep 0.3; }
# The play position of the last pass drawn.
position() { grep "^trace: pass" stderr.log | tail -n 1 | sed 's/.* at \([0-9.]*\) s.*/\1/'; }
at_least() { [ "$(echo "$1 >= $2" | bc)" -eq 1 ]; }
quit() {
  key Escape
  for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$pid" 2>/dev/null && fail "still running 10 s after Escape"
  wait "$pid"
  local status=$?
  pid=
  [ "$status" -eq 0 ] || fail "exit status $status, expected 0"
}

case $case_name in
  unreadable-kept)
    printf 'not a project' >save.brz
    start --windowed KORVALIN_HEADLESS=1
    wait_trace 60 1 "start to first frame"
    grep -q "^save.brz: " stderr.log || fail "the rejected file was not reported"
    xdotool mousemove 320 240
    key y
    [ "$(cat save.brz.unreadable 2>/dev/null)" = 'not a project' ] || fail "the rejected file was not kept"
    cmp -s save.brz <(empty_project) || fail "save.brz is not the empty project"
    wait_trace 5 1 "^save.brz: the file that could not be read is kept as save.brz.unreadable$"
    key y  # the file is a project now: kept as the backup, not set aside again
    cmp -s save.brz.bak <(empty_project) || fail "no backup of the saved project"
    [ ! -e save.brz.unreadable.1 ] || fail "a project the program wrote was set aside as unreadable"
    [ "$(cat save.brz.unreadable)" = 'not a project' ] || fail "the kept file changed"
    quit
    ;;
  save-through-link)
    mkdir projects
    mv save.brz projects/demo.brz
    chmod 640 projects/demo.brz
    cp projects/demo.brz original.brz
    ln -s projects/demo.brz save.brz
    start --windowed KORVALIN_HEADLESS=1
    wait_trace 60 1 "start to first frame"
    xdotool mousemove 320 240
    key y
    [ -L save.brz ] || fail "the link was replaced by a file"
    [ "$(readlink save.brz)" = projects/demo.brz ] || fail "the link points elsewhere now"
    cmp -s projects/demo.brz.bak original.brz || fail "the target's previous bytes were not kept beside it"
    cmp -s projects/demo.brz original.brz || fail "the unchanged project was not saved as it was loaded"
    [ "$(stat -c %a projects/demo.brz)" = 640 ] || fail "the target lost its permissions"
    quit
    ;;
  f1-held)
    start --windowed KORVALIN_HEADLESS=1
    wait_trace 60 1 "start to first frame"
    # Held well past the auto-repeat delay: one new window, however long.
    xdotool mousemove 320 240
    key F1 2.5
    wait_trace 60 1 "F1 to first frame"
    sleep 2
    toggles=$(grep -c "F1 to first frame" stderr.log)
    [ "$toggles" -eq 1 ] || fail "F1 held for 2.5 s made $toggles new windows, expected 1"
    key F1  # released, pressed again: toggles again
    wait_trace 60 2 "F1 to first frame"
    sleep 2
    [ "$(grep -c "F1 to first frame" stderr.log)" -eq 2 ] || fail "a second press made more than one window"
    quit
    ;;
  button-held-over-f1)
    start --editor KORVALIN_HEADLESS=1
    wait_trace 60 1 "start to first frame"
    xdotool mousemove 175 500 sleep 0.3 mousedown 1 sleep 1  # Stop, held
    key F1
    wait_trace 60 1 "F1 to first frame"
    sleep 2.5
    held=$(position)
    at_least "$held" 1.5 || fail "with the button still down from the old window the clock stands at $held s"
    xdotool mouseup 1 sleep 0.5
    click 175 500  # a new press on Stop works
    sleep 0.3
    at_least 0.9 "$(position)" || fail "Stop pressed in the new window left the clock at $(position) s"
    quit
    ;;
  chooser-press)
    empty_project >save.brz
    start --editor KORVALIN_HEADLESS=1
    wait_trace 60 1 "start to first frame"
    xdotool mousemove 700 300
    key n
    # "Layer 2D" pressed where the dialog's Layer field will lie, dragged up 5 pixels.
    xdotool mousemove 780 50 sleep 0.3 mousedown 1 sleep 0.4 mousemove 780 45 sleep 0.4 mouseup 1 sleep 0.3
    click 700 155  # Proceed
    key y
    [ "$(stat -c %s save.brz)" -eq 72 ] || fail "expected one Layer 2D clip in save.brz"
    [ "$(od -An -tu1 -N3 save.brz | tr -s ' ')" = " 0 1 0" ] || \
      fail "the new clip is not on layer 0: layer 0 record $(od -An -tu1 -N3 save.brz)"
    quit
    ;;
  error-box-owner)
    printf 'BM but not a bitmap' >text14.bmp
    # Not headless: the box must really open (SDL draws it with the X core fonts of xfonts-base).
    start --windowed -u KORVALIN_HEADLESS
    box=
    for _ in $(seq 300); do
      box=$(xwininfo -root -tree | sed -n 's/^ *\(0x[0-9a-f]*\) "Error":.*/\1/p' | head -n 1)
      [ -n "$box" ] && break
      alive
      sleep 0.1
    done
    [ -n "$box" ] || fail "no error box for the broken font sheet"
    main=$(xdotool search --name "^$title\$" | head -n 1)
    [ -n "$main" ] || fail "no program window while the box is open"
    owner=$(xprop -id "$box" WM_TRANSIENT_FOR | sed -n 's/.*window id # \(0x[0-9a-f]*\).*/\1/p')
    [ -n "$owner" ] || fail "the error box belongs to no window"
    [ $(( owner )) -eq $(( main )) ] || fail "the error box belongs to window $owner, not the program's $main"
    "$close_window" "$box" || fail "cannot close the box"
    wait_trace 60 1 "start to first frame"
    quit
    ;;
  *)
    fail "unknown case"
    ;;
esac
echo "PASS ($case_name)"
