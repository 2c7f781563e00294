#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan+UBSan) in build-fuzz/ and runs each one in turn.
#   fuzz.sh --seconds S [target...]  each target S seconds from its seeds; the corpus is thrown away
#   fuzz.sh --runs N [target...]     each target N inputs; the corpus grows in build-fuzz/corpus/<target>/
# Targets are named as in fuzz/seeds/ (project, 3ds, bmp); none named means all. Stops at the
# first finding, whose input is kept in build-fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."

usage() { echo "usage: $0 --seconds S | --runs N [target...]" >&2; exit 2; }
[ $# -ge 2 ] || usage
mode=$1
amount=$2
shift 2
case "$mode" in
  --seconds) limit=-max_total_time=$amount ;;
  --runs) limit=-runs=$amount ;;
  *) usage ;;
esac
[[ "$amount" =~ ^[1-9][0-9]*$ ]] || usage

if [ ! -f build-fuzz/build.ninja ]; then
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKORVALIN_FUZZ=ON -DKORVALIN_BENCH=OFF -DKORVALIN_TOOLS=OFF >/dev/null
fi
cmake --build build-fuzz

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for fuzzer in build-fuzz/fuzzers/fuzz_*; do
    [ -x "$fuzzer" ] && targets+=("${fuzzer##*/fuzz_}")
  done
fi

mkdir -p build-fuzz/findings
for name in "${targets[@]}"; do
  fuzzer=build-fuzz/fuzzers/fuzz_$name
  if [ ! -x "$fuzzer" ]; then
    echo "fuzz.sh: no fuzz target '$name' (build-fuzz/fuzzers/)" >&2
    exit 2
  fi
  seeds=fuzz/seeds/$name
  if [ "$mode" = --seconds ]; then
    corpus=$(mktemp -d)
    log=$corpus.log
  else
    corpus=build-fuzz/corpus/$name
    log=build-fuzz/corpus/$name.log
    mkdir -p "$corpus"
  fi
  dirs=("$corpus")
  [ -d "$seeds" ] && dirs+=("$seeds")  # read as well; new inputs land in the first folder only
  echo "-- fuzz_$name"
  start=$(date +%s)
  if ! "$fuzzer" "$limit" -print_final_stats=1 -artifact_prefix=build-fuzz/findings/"$name"- \
       "${dirs[@]}" >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "fuzz_$name found a failure (log: $log, input in build-fuzz/findings/)" >&2
    exit 1
  fi
  seconds=$(($(date +%s) - start))
  # The last status line carries coverage (cov) and features (ft); the final stats the runs.
  status=$(grep -E '^#[0-9]+' "$log" | tail -n 1 | sed -E 's/.*(cov: [0-9]+ ft: [0-9]+).*/\1/')
  runs=$(sed -nE 's/^stat::number_of_executed_units: *([0-9]+)/\1/p' "$log")
  rate=$(sed -nE 's/^stat::average_exec_per_sec: *([0-9]+)/\1/p' "$log")
  echo "fuzz_$name: $runs runs in $seconds s ($rate per second), $status"
  if [ "$mode" = --seconds ]; then rm -rf "$corpus" "$log"; fi
done
