#!/usr/bin/env bash
# The whole suite: unit tests again under ASan+UBSan, each fuzz target for a while, then the
# main build's ctest last so that its summary closes the output.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
jobs=$(nproc)
fuzz_seconds=${KORVALIN_FUZZ_SECONDS:-60}

# Drawing tests pick SDL's offscreen driver themselves; the runs under Xvfb need X11, so no
# video driver is forced here.
unset SDL_VIDEODRIVER
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
export KORVALIN_HEADLESS=1

echo "== unit tests under AddressSanitizer and UndefinedBehaviorSanitizer"
if [ ! -f build-asan/build.ninja ]; then
  cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKORVALIN_SANITIZE=ON \
    -DKORVALIN_BENCH=OFF -DKORVALIN_TOOLS=OFF >/dev/null
fi
cmake --build build-asan
# The leak check stops every thread to scan it and crashed ("Tracer caught signal 11") when it met
# a GL driver thread: here the driver makes none. llvmpipe draws on the calling thread
# (LP_NUM_THREADS=0) and Mesa's shader disk cache, whose queue thread ("disk$0") lives as long as
# the context, is off.
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp:print_suppressions=0 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
LP_NUM_THREADS=0 MESA_SHADER_CACHE_DISABLE=true \
  ctest --test-dir build-asan --output-on-failure -j "$jobs" -LE 'e2e|nosan'

echo "== fuzzing, ${fuzz_seconds} s per target"
bash scripts/fuzz.sh --seconds "$fuzz_seconds"

echo "== tests"
ctest --test-dir "$build" --output-on-failure -j "$jobs"
