# Shared by the end-to-end scripts: a private copy of the run folder in $work, the program started
# in it with its standard error in $work/stderr.log, and the ways a person drives it. The caller
# sets label and, before `start`, trace (the KORVALIN_TRACE_FRAMES level; 2 lets the helpers wait
# for passes instead of guessing times).
title="Tamsilvo - Korvalin"
# A real X11 window under Xvfb, whatever video driver the caller's environment names.
unset SDL_VIDEODRIVER
work=$(mktemp -d)
pid=
trace=2
fail() {
  echo "FAIL ($label): $*"
  [ -f "$work/stderr.log" ] && grep -v "^trace: pass" "$work/stderr.log" | sed 's/^/  stderr: /' | tail -n 20
  exit 1
}
. "$(dirname "${BASH_SOURCE[0]}")/../common/e2e_end.sh"
cleanup() { end_program "$pid"; rm -rf "$work"; }
trap cleanup EXIT

# start OPTIONS...: the program in $work, up to its first frame.
start() {
  (cd "$work" && exec env SDL_AUDIODRIVER=dummy KORVALIN_HEADLESS=1 KORVALIN_TRACE_FRAMES=$trace \
    "$program" "$@" >"$work/stdout.log" 2>"$work/stderr.log") &
  pid=$!
  wait_trace 60 1 "start to first frame"
}
alive() { kill -0 "$pid" 2>/dev/null || fail "the program ended"; }

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

# Until $1 more passes are drawn or the program ends (a second when passes are not traced): what
# holding a key or a button takes for the program to see it, however slow the machine.
passes() { grep -c "^trace: pass" "$work/stderr.log"; }
after_passes() {
  local before; before=$(passes)
  if [ "$trace" != 2 ]; then sleep 1; return; fi
  for _ in $(seq 150); do
    [ "$(passes)" -ge $(( before + $1 )) ] && return
    kill -0 "$pid" 2>/dev/null || return
    sleep 0.1
  done
  fail "fewer than $1 passes in 15 s"
}
press() { alive; xdotool keydown "$1"; after_passes 2; xdotool keyup "$1"; after_passes 1; }
# click X Y [BUTTON]: a click reads the position of the last move, so the move comes first.
click() {
  alive
  xdotool mousemove "$1" "$2"; after_passes 2
  xdotool mousedown "${3:-1}"; after_passes 2
  xdotool mouseup "${3:-1}"; after_passes 1
}
# The pointer's y, and the colour of a screenshot's pixel as "r,g,b".
pointer_y() { xdotool getmouselocation | sed 's/.*y:\([0-9]*\).*/\1/'; }
# wraps Y TO: a move to y Y puts the pointer at y TO. The loop reads the pointer only when the
# last event it took was a move, so another event just after it (a late window event) may hide
# one move: three tries.
wraps() {
  for _ in 1 2 3; do
    xdotool mousemove 500 "$1"; after_passes 2
    [ "$(pointer_y)" = "$2" ] && return
  done
  fail "a move to y $1 left the pointer at y $(pointer_y)"
}
pixel() { convert "$artifacts/$1.png" -format '%[fx:int(255*p{'"$2,$3"'}.r)],%[fx:int(255*p{'"$2,$3"'}.g)],%[fx:int(255*p{'"$2,$3"'}.b)]' info:; }
geometry() { xdotool search --name "$title" getwindowgeometry | sed -n 's/.*Geometry: //p'; }
# Every window's first frame came within a minute of its request (a request never noted would
# count from the clock's epoch).
first_frames_plausible() {
  grep "to first frame" "$work/stderr.log" | awk '{ if ($(NF-1) + 0 > 60000) bad = 1 } END { exit bad }' ||
    fail "a first frame counted from a request never noted"
}
windows() { grep "^trace:   window" "$work/stderr.log" | awk '{print $3}' | tr '\n' ' '; }
colours() { identify -format '%k' "$artifacts/$1.png"; }
