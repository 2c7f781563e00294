#!/usr/bin/env bash
# The real program under Xvfb, driven with xdotool. Run inside xvfb-run:
#   shell_e2e.sh CASE KORVALIN RUN-FOLDER ASSETGEN MAKE-OGG CLOSE-WINDOW PROJECT-TOOL ARTIFACT-DIR
# CASE: shows-demo (ended by Escape) | f1-twice | music-end | editor-quit-saves (closed by the
# window manager; needs a 1024 x 768 screen) | fullscreen (no options, a 640 x 480 screen) |
# mode-fails (no options, a screen without a 640 x 480 mode) | no-display (run without Xvfb).
# Exit 77 means skipped.
set -u
case_name=$1 program=$2 run_folder=$3 assetgen=$4 make_ogg=$5 close_window=$6 project_tool=$7 artifacts=$8
if [ "$case_name" = no-display ]; then
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY SDL_VIDEODRIVER=x11 KORVALIN_HEADLESS=1 "$program" 2>&1 >/dev/null)
  status=$?
  [ "$status" -eq 1 ] && grep -qx "Error: Error Creating OpenGL Window" <<<"$out" ||
    { echo "FAIL ($case_name): exit status $status, expected 1 and a report; said: $out"; exit 1; }
  # The autosave interval from the environment: more than 0 s and at most a day, else one line.
  for value in 86400 0.001 86400.5 0 1x ''; do
    said=$(KORVALIN_AUTOSAVE_SECONDS=$value "$program" --version 2>&1 >/dev/null)
    want="korvalin: KORVALIN_AUTOSAVE_SECONDS='$value' is not a number of seconds; autosaving every 30 s"
    case $value in 86400 | 0.001) want= ;; esac
    [ "$said" = "$want" ] || { echo "FAIL: KORVALIN_AUTOSAVE_SECONDS='$value': \"$said\""; exit 1; }
  done
  # The export's own command line: --help and --version succeed; a bad line is one line, status 2.
  out=$("$program" --export x.mp4 --help) && grep -q -- "--crf N" <<<"$out" || { echo "FAIL: --export --help"; exit 1; }
  out=$("$program" --export x.mp4 --version) && grep -q "^korvalin [0-9]" <<<"$out" || { echo "FAIL: --export --version"; exit 1; }
  said=$("$program" --export a.avi 2>&1 >/dev/null)
  status=$?
  [ "$status" -eq 2 ] && [ "$said" = "korvalin: a.avi: unknown kind of video file (use .mp4, .mkv or .webm) (see korvalin --help)" ] ||
    { echo "FAIL: --export a.avi: status $status, \"$said\""; exit 1; }
  echo "PASS ($case_name)"
  exit 0
fi
[ "$case_name" = shows-demo ] && trace=1  # timings only: no line per pass
. "$(dirname "$0")/e2e_lib.sh"
case $case_name in
  music-end) "$make_ogg" "$work/data/Vavorerid_by__qx_.ogg" 3000 || fail "cannot write the short music" ;;
  editor-quit-saves) "$project_tool" start "$work/save.brz" || fail "cannot write the starting project" ;;
esac
mkdir -p "$artifacts"

shot() { import -window root -crop "${2:-640x480}+0+0" +repage "$artifacts/$1.png" || fail "no screenshot"; }
pixel() { convert "$artifacts/$1.png" -format '%[fx:int(255*p{'"$2,$3"'}.r)],%[fx:int(255*p{'"$2,$3"'}.g)],%[fx:int(255*p{'"$2,$3"'}.b)]' info:; }
colours() { identify -format '%k' "$artifacts/$1.png"; }
geometry() { xdotool search --name "$title" getwindowgeometry | sed -n 's/.*Geometry: //p'; }
windows() { grep "^trace:   window" "$work/stderr.log" | awk '{print $3}' | tr '\n' ' '; }
# wraps Y TO: a move to y Y puts the pointer at y TO. The loop reads the pointer only when the
# last event it took was a move, so another event just after it (a late window event) may hide
# one move: three tries.
wraps() {
  for _ in 1 2 3; do
    xdotool mousemove 500 "$1"; passes 2
    [ "$(xdotool getmouselocation | sed 's/.*y:\([0-9]*\).*/\1/')" = "$2" ] && return
  done
  fail "a move to y $1 did not put the pointer at y $2"
}

case $case_name in
  editor-quit-saves) start --editor KORVALIN_HEADLESS=1 ;;
  fullscreen|mode-fails) start "" KORVALIN_HEADLESS=1 ;;
  *) start --windowed KORVALIN_HEADLESS=1 ;;
esac

case $case_name in
  shows-demo)
    sleep 1
    shot shell-demo-1
    sleep 1.5
    shot shell-demo-2
    [ "$(colours shell-demo-1)" -gt 50 ] || fail "the picture is (nearly) one colour"
    differing=$(compare -metric AE "$artifacts/shell-demo-1.png" "$artifacts/shell-demo-2.png" null: 2>&1)
    [ "${differing%% *}" != 0 ] || fail "the picture does not change over time"
    grep -q "^trace: pass" "$work/stderr.log" && fail "a line for every pass, though only timings were asked for"
    [ "$(geometry)" = 640x480 ] || fail "window of $(geometry)"
    wraps 1 479  # from the top edge to the bottom of the client area
    quit
    ;;
  f1-twice)
    # Each window runs passes of its own before the next toggle, so that it closes with a
    # summary however slowly the machine draws.
    passes 4
    key F1
    wait_for 60 1 "F1 to first frame"
    passes 4
    key F1
    wait_for 60 2 "F1 to first frame"
    sleep 1.5
    shot shell-after-f1-twice
    # Pictures come from textures: stale texture names of the old context would draw blank.
    [ "$(colours shell-after-f1-twice)" -gt 50 ] || fail "the picture after two toggles is (nearly) one colour"
    [ "$(xdotool search --name "$title" | wc -l)" -eq 1 ] || fail "expected exactly one window"
    # One window per toggle, in the other mode each time: a held key must not toggle again.
    [ "$(windows)" = "windowed fullscreen windowed " ] || fail "windows made: $(windows)"
    [ "$(count "passes, clock step")" -ge 2 ] || fail "no summary for the windows closed"
    quit
    ;;
  music-end)
    # Ends by itself once the music's time passes its length less 100 ms: the last frame is
    # drawn at 2.9 s at most one pass's step later, and not long before.
    ended 40
    grep "^trace: pass" "$work/stderr.log" | awk '{ if ($8 > step) step = $8; last = $5 } END {
      if (last < 2.5 || last > 2.95 + step / 1000) { print "last frame at " last " s"; exit 1 } }' ||
      fail "the music's end is not where the demo ended"
    grep -q "passes, clock step" "$work/stderr.log" || fail "no summary before the end"
    ;;
  fullscreen|mode-fails)
    sleep 1
    shot shell-$case_name
    [ "$(colours shell-$case_name)" -gt 50 ] || fail "the picture is (nearly) one colour"
    if [ "$case_name" = fullscreen ]; then
      [ "$(windows)" = "fullscreen " ] || fail "windows made: $(windows)"
      grep -q "Mode Switch Failed" "$work/stderr.log" && fail "the mode switch failed"
    else
      [ "$(windows)" = "windowed " ] || fail "windows made: $(windows)"
      grep -A1 "^Error: Mode Switch Failed.$" "$work/stderr.log" | grep -q "^Running In Windowed Mode.$" ||
        fail "no mode switch message"
    fi
    quit
    ;;
  editor-quit-saves)
    [ "$(geometry)" = 1024x768 ] || fail "window of $(geometry)"
    # Select the Box on layer 1 (moved over first: a click reads the position of the last move)
    # and duplicate it with C; the close request's question, headless, answers "Save".
    click 150 635
    key c
    shot editor 1024x768
    # The canvas around the demo in the top-left 640 x 480 (right of it and below), the Play
    # button, the empty row 4.
    for probe in "640 100 199,193,184" "900 300 199,193,184" "22 492 171,165,157" "1000 708 167,165,160" "320 480 199,193,184"; do
      set -- $probe
      [ "$(pixel editor "$1" "$2")" = "$3" ] || fail "at ($1, $2): $(pixel editor "$1" "$2")"
    done
    for x in 0 320 639; do
      [ "$(pixel editor $x 240)" != 199,193,184 ] || fail "no demo at ($x, 240)"
    done
    # The title marks unsaved changes, and only while there are some: undone, then redone.
    for keys in "" ctrl+z ctrl+shift+z; do
      [ -z "$keys" ] || key "$keys"
      name=$(xdotool search --name "$title" getwindowname)
      [ "$name" = "$title$([ "$keys" = ctrl+z ] || echo " *")" ] || fail "title \"$name\" after \"$keys\""
    done
    "$close_window" "$(xdotool search --name "$title" | head -n 1)" || fail "cannot send the close request"
    ended 20
    grep -q 'unsaved changes.*Answered "Save"' "$work/stderr.log" || fail "no quit question on standard error"
    [ "$(windows)" = "windowed " ] || fail "windows made: $(windows)"
    "$project_tool" check "$work/save.brz" || fail "save.brz is not what the edits make"
    ;;
  *)
    fail "unknown case"
    ;;
esac
[ "$status" -eq 0 ] || fail "exit status $status, expected 0"
# Every window's first frame came within a minute of its request (a request never noted would
# count from the clock's epoch).
grep "to first frame" "$work/stderr.log" | awk '{ if ($(NF-1) + 0 > 60000) bad = 1 } END { exit bad }' ||
  fail "a first frame counted from a request never noted"
grep "^trace:" "$work/stderr.log" | grep -v "^trace: pass"
echo "PASS ($case_name)"
