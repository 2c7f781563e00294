#!/usr/bin/env bash
# The program under Xvfb (or no display), driven by xdotool: shell_e2e.sh CASE KORVALIN RUN-FOLDER ASSETGEN CLOSE-WINDOW ARTIFACTS
set -u
case_name=$1 program=$2 run_folder=$3 assetgen=$4 close_window=$5 artifacts=$6
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
[ "$case_name" = fullscreen ] && trace=1  # timings only: no line per pass
. "$(dirname "$0")/e2e_lib.sh"
# 16 layers; layer 1 holds a Box 3 s long from each start given (float high bytes: \x80\x3f is 1.0).
project() {
  printf '\x00\x00\x00\x01'"\\x0$#"'\x00'
  for at; do printf '\x01\x00\x00\x00\x00\x00'"$at"'\x00\x00\x40\x40\x00\x00\xf0\x41\x00\x00\x34\x42\x00\x00\x00\x00\x00\x00\xc0\x3f'; done
  for layer in $(seq 2 15); do printf "\\x$(printf %02x "$layer")\\x00\\x00"; done
}
case $case_name in
  music-end) head -c 529200 /dev/zero | oggenc -Q -r -o "$work/data/Vavorerid_by__qx_.ogg" - || fail "no short music" ;;
  editor-quit-saves) project '\x80\x3f' >"$work/save.brz" ;;
  chooser-press-then-sigterm) project >"$work/save.brz" ;;
esac
mkdir -p "$artifacts"

shot() { import -window root -crop "${2:-640x480}+0+0" +repage "$artifacts/$1.png" || fail "no screenshot"; }
pixel() { convert "$artifacts/$1.png" -format '%[fx:int(255*p{'"$2,$3"'}.r)],%[fx:int(255*p{'"$2,$3"'}.g)],%[fx:int(255*p{'"$2,$3"'}.b)]' info:; }
colours() { identify -format '%k' "$artifacts/$1.png"; }
geometry() { xdotool search --name "$title" getwindowgeometry | sed -n 's/.*Geometry: //p'; }
windows() { grep "^trace:   window" "$work/stderr.log" | awk '{print $3}' | tr '\n' ' '; }
# wraps Y TO: a move to y Y puts the pointer at y TO; three tries, as a window event just after a move hides it from the loop.
wraps() {
  for _ in 1 2 3; do
    xdotool mousemove 500 "$1"; passes 2
    [ "$(xdotool getmouselocation | sed 's/.*y:\([0-9]*\).*/\1/')" = "$2" ] && return
  done
  fail "a move to y $1 did not put the pointer at y $2"
}

case $case_name in
  editor-quit-saves) start --editor KORVALIN_HEADLESS=1 ;;
  chooser-press-then-sigterm) start --editor -u KORVALIN_HEADLESS ;;  # a question box would keep it from ending
  fullscreen|mode-fails) start "" KORVALIN_HEADLESS=1 ;;
  *) start --windowed KORVALIN_HEADLESS=1 ;;
esac

case $case_name in
  f1-twice)
    # The first press held past auto-repeat's delay; passes in each window first, so that each closes with a summary.
    for presses in 1 2; do
      passes 4
      key F1 $((8 - 4 * presses))
      wait_for 60 "$presses" "F1 to first frame"
    done
    passes 4
    shot shell-after-f1-twice
    # Pictures come from textures: stale texture names of the old context would draw blank.
    [ "$(colours shell-after-f1-twice)" -gt 50 ] || fail "the picture after two toggles is (nearly) one colour"
    [ "$(xdotool search --name "$title" | wc -l)" -eq 1 ] || fail "expected exactly one window"
    # One window per press, in the other mode each time: a held key must not toggle again.
    [ "$(windows)" = "windowed fullscreen windowed " ] || fail "windows made: $(windows)"
    [ "$(count "passes, clock step")" -ge 2 ] || fail "no summary for the windows closed"
    quit
    ;;
  music-end)
    # Ends by itself at 2.9 s of music (length less 100 ms), at most one pass's step later.
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
      grep -q "^trace: pass" "$work/stderr.log" && fail "a line for every pass, though only timings were asked for"
      [ "$(geometry)" = 640x480 ] || fail "window of $(geometry)"
      wraps 1 479  # from the top edge to the bottom of the client area
    else
      [ "$(windows)" = "windowed " ] || fail "windows made: $(windows)"
      grep -A1 "^Error: Mode Switch Failed.$" "$work/stderr.log" | grep -q "^Running In Windowed Mode.$" ||
        fail "no mode switch message"
    fi
    quit
    ;;
  editor-quit-saves)
    [ "$(geometry)" = 1024x768 ] || fail "window of $(geometry)"
    # The Box on layer 1, duplicated with C; the close request's question, headless, answers "Save".
    click 150 635
    key c
    shot editor 1024x768
    # The canvas right of and below the demo (top-left 640 x 480), Play, empty row 4; the demo across its width.
    for probe in "640 100 = 199,193,184" "900 300 = 199,193,184" "22 492 = 171,165,157" "1000 708 = 167,165,160" \
      "320 480 = 199,193,184" "0 240 != 199,193,184" "320 240 != 199,193,184" "639 240 != 199,193,184"; do
      set -- $probe
      [ "$(pixel editor "$1" "$2")" "$3" "$4" ] || fail "at ($1, $2): $(pixel editor "$1" "$2")"
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
    # The copy starts where the Box ends and follows it in its layer.
    cmp "$work/save.brz" <(project '\x80\x3f' '\x80\x40') || fail "save.brz is not what the edits make"
    ;;
  chooser-press-then-sigterm)
    point 700 300
    key n
    # "Layer 2D" pressed where the dialog's Layer field will lie, dragged up 5 pixels.
    point 780 50
    xdotool mousedown 1 && passes 3 && point 780 45 && xdotool mouseup 1
    click 700 155  # Proceed
    kill -TERM "$pid"
    ended 10
    cmp -s "$work/save.brz" <(project) || fail "SIGTERM changed save.brz"
    [ "$(stat -c %s "$work/save.brz.unsaved")" -eq 72 ] || fail "expected one Layer 2D clip in save.brz.unsaved"
    [ "$(od -An -tu1 -N3 "$work/save.brz.unsaved" | tr -s ' ')" = " 0 1 0" ] || fail "the new clip is not on layer 0"
    [ "$(count "^korvalin: ended by a signal; the unsaved changes are kept in save.brz.unsaved$")" -eq 1 ] || fail "not said"
    ;;
  *) fail "unknown case" ;;
esac
[ "$status" -eq 0 ] || fail "exit status $status, expected 0"
# Each first frame came within a minute of its request (one never noted counts from the epoch).
grep "to first frame" "$work/stderr.log" | awk '{ if ($(NF-1) + 0 > 60000) bad = 1 } END { exit bad }' ||
  fail "a first frame counted from a request never noted"
echo "PASS ($case_name)"
