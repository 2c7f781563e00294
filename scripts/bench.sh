#!/usr/bin/env bash
# Runs every benchmark program of the build; figures go to docs/performance.md by hand.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
export SDL_VIDEODRIVER=${SDL_VIDEODRIVER:-offscreen}
export KORVALIN_HEADLESS=1
for b in "$build"/bench/*/bench_*; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  (cd demo && "../$b" "${@:2}")
done
