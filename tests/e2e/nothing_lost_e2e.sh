#!/usr/bin/env bash
# Nothing lost, nothing stuck: the real program under Xvfb, keys and buttons held as a person
# holds them. Run inside xvfb-run: nothing_lost_e2e.sh CASE KORVALIN RUN-FOLDER ASSETGEN CLOSE-WINDOW
set -u
case_name=$1 program=$2 run_folder=$3 assetgen=$4 close_window=$5
. "$(dirname "$0")/e2e_lib.sh"
cd "$work" || fail "no work folder"

empty_project() { for layer in $(seq 0 15); do printf "\\$(printf %o "$layer")\\0\\0"; done; }
position_until() {  # position_until CONDITION: up to 30 s, until the bc CONDITION on p holds
  for _ in $(seq 300); do
    at=$(grep "^trace: pass" stderr.log | tail -n 1 | sed 's/.* at \([0-9.]*\) s.*/\1/')
    [ "$(echo "${1/p/$at}" | bc)" -eq 1 ] && return 0
    alive && sleep 0.1
  done
  fail "the position stayed at $at s, expected $1"
}

case $case_name in
  unreadable-kept)
    printf 'not a project' >save.brz
    start --windowed KORVALIN_HEADLESS=1
    key y
    [ "$(cat save.brz.unreadable)" = 'not a project' ] || fail "the rejected file was not kept"
    cmp -s save.brz <(empty_project) || fail "save.brz is not the empty project"
    key y  # the file is a project now: kept as the backup, not set aside again
    cmp -s save.brz.bak <(empty_project) || fail "no backup of the saved project"
    ;;
  save-through-link)
    mkdir projects
    mv save.brz projects/demo.brz
    chmod 640 projects/demo.brz
    cp projects/demo.brz original.brz
    ln -s projects/demo.brz save.brz
    start --windowed KORVALIN_HEADLESS=1
    key y
    [ "$(readlink save.brz)" = projects/demo.brz ] || fail "the link was replaced or points elsewhere"
    cmp -s projects/demo.brz.bak original.brz || fail "the target's previous bytes were not kept beside it"
    [ "$(stat -c %a projects/demo.brz)" = 640 ] || fail "the target lost its permissions"
    ;;
  f1-held)
    start --windowed KORVALIN_HEADLESS=1
    for presses in 1 2; do  # held well past the auto-repeat delay (2.5 s), then a fresh press
      key F1 $((8 - 4 * presses))
      wait_for 60 "$presses" "F1 to first frame"
      passes 40
      [ "$(count "F1 to first frame")" -eq "$presses" ] || fail "$presses presses made $(count "F1 to first frame") windows"
    done
    ;;
  button-held-over-f1)
    start --editor KORVALIN_HEADLESS=1
    point 175 500
    xdotool mousedown 1  # Stop, held into the new window
    passes 3
    key F1
    wait_for 60 1 "F1 to first frame"
    position_until "p >= 1.5"  # held from the old window, the button stops nothing here
    xdotool mouseup 1
    ;;
  chooser-press-then-sigterm)
    empty_project >save.brz
    start --editor -u KORVALIN_HEADLESS  # a question box would keep the program from ending
    point 700 300
    key n
    # "Layer 2D" pressed where the dialog's Layer field will lie, dragged up 5 pixels.
    point 780 50
    xdotool mousedown 1 && passes 3 && point 780 45 && xdotool mouseup 1
    click 700 155  # Proceed
    kill -TERM "$pid"
    ended 10
    cmp -s save.brz <(empty_project) || fail "SIGTERM changed save.brz"
    [ "$(stat -c %s save.brz.unsaved)" -eq 72 ] || fail "expected one Layer 2D clip in save.brz.unsaved"
    [ "$(od -An -tu1 -N3 save.brz.unsaved | tr -s ' ')" = " 0 1 0" ] || fail "the new clip is not on layer 0"
    [ "$(count "^korvalin: ended by a signal; the unsaved changes are kept in save.brz.unsaved$")" -eq 1 ] || fail "not said"
    ;;
  error-box-owner)
    printf 'BM but not a bitmap' >text14.bmp
    # Not headless: the box must really open (SDL draws it with the X core fonts of xfonts-base).
    launch --windowed -u KORVALIN_HEADLESS
    for _ in $(seq 300); do
      box=$(xwininfo -root -tree | sed -n 's/^ *\(0x[0-9a-f]*\) "Error":.*/\1/p' | head -n 1)
      main=$(xdotool search --name "^Tamsilvo - Korvalin\$" | head -n 1)
      [ -n "$box" ] && [ -n "$main" ] && break
      alive
      sleep 0.1
    done
    owner=$(xprop -id "$box" WM_TRANSIENT_FOR | sed -n 's/.*window id # \(0x[0-9a-f]*\).*/\1/p')
    [ -n "$main" ] && [ $((owner)) -eq $((main)) ] || fail "the error box belongs to '$owner', not the program's '$main'"
    "$close_window" "$box" || fail "cannot close the box"
    wait_for 60 1 "start to first frame"
    ;;
  *) fail "unknown case" ;;
esac
[ -z "$pid" ] || quit
echo "PASS ($case_name)"
