# end_program PID: SIGTERM, then SIGKILL after 2 s. Waited for: if a test ended first, xvfb-run
# would take the X server away while the program is still ending, and it would run on.
end_program() {
  if [ -n "$1" ] && kill "$1" 2>/dev/null; then
    for _ in $(seq 20); do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$1" 2>/dev/null
  fi
}
