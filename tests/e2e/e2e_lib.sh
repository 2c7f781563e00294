# Sourced by the end-to-end scripts once case_name, program, run_folder and assetgen (empty or
# "none" for none) are set: a copy of the run folder in $work to run in, the program started there
# as $pid and ended whatever happens, and the ways a person drives it. trace, the
# KORVALIN_TRACE_FRAMES level, is 2 unless the caller sets it: a line per pass lets the helpers wait
# for passes instead of guessing times.
unset SDL_VIDEODRIVER  # a real X11 window under Xvfb, whatever the caller's environment names
title="Tamsilvo - Korvalin"
work=$(mktemp -d)
pid=
trace=${trace:-2}
fail() {
  echo "FAIL ($case_name): $*"
  grep -v "^trace: pass" "$work/stderr.log" 2>/dev/null | sed "s/^/  stderr: /" | tail -n 30
  exit 1
}
# SIGTERM, then SIGKILL after 2 s, and waited for: if a test ended first, xvfb-run would take the
# X server away while the program is still ending, and it would run on.
end_program() {
  if [ -n "$1" ] && kill "$1" 2>/dev/null; then
    for _ in $(seq 20); do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$1" 2>/dev/null
  fi
}
cleanup() { end_program "$pid"; rm -rf "$work"; }
trap cleanup EXIT
trap 'exit 1' INT TERM HUP
if [ -d "$run_folder/data" ]; then
  cp -r "$run_folder"/. "$work"/
elif [ -x "$assetgen" ]; then
  "$assetgen" "$work" >/dev/null 2>&1 || fail "the asset generator failed"
else
  echo "SKIP: no run folder at $run_folder and no asset generator to make one"
  exit 77
fi

launch() {  # launch MODE [ENV...]: runs the program in $work; MODE "" for no option
  (cd "$work" && exec env "${@:2}" SDL_AUDIODRIVER=dummy KORVALIN_TRACE_FRAMES=$trace "$program" ${1:+"$1"} \
    >"$work/stdout.log" 2>"$work/stderr.log") &
  pid=$!
}
start() { launch "$@"; wait_for 60 1 "start to first frame"; }
alive() { kill -0 "$pid" 2>/dev/null || fail "the program ended during the run"; }
count() { grep -c "$1" "$work/stderr.log" 2>/dev/null; }
wait_for() {  # wait_for SECONDS N PATTERN: until standard error holds N lines matching
  for _ in $(seq $(($1 * 10))); do
    [ "$(count "$3")" -ge "$2" ] && return 0
    alive && sleep 0.1
  done
  fail "no '$3' after $1 s"
}
# N more passes (a second when passes are not traced).
passes() {
  if [ "$trace" != 2 ]; then sleep 1; return; fi
  wait_for 60 $(($(count "^trace: pass") + $1)) "^trace: pass"
}
# Keys and buttons are held over passes, as a person holds them: a press and release that both
# arrive before a pass are never seen.
key() { alive; xdotool keydown "$1" sleep "${2:-0}"; passes 2; xdotool keyup "$1"; passes 3; }
# A press acts where the passes last saw the mouse: a move and a press in the same pass would not.
point() { alive; xdotool mousemove "$1" "$2"; passes 3; }
click() { point "$1" "$2"; xdotool mousedown 1; passes 2; xdotool mouseup 1; passes 3; }
ended() {  # ended SECONDS: the program ended by itself within them; sets status
  for _ in $(seq $(($1 * 10))); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$pid" 2>/dev/null && fail "still running $1 s later"
  wait "$pid"
  status=$?
  pid=
}
escape() {  # held until the program ends, or for 2 s
  xdotool keydown Escape
  for _ in $(seq 20); do kill -0 "$pid" 2>/dev/null && sleep 0.1; done
  xdotool keyup Escape
}
quit() { escape; ended 10; [ "$status" -eq 0 ] || fail "exit status $status, expected 0"; }
