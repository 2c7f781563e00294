#!/usr/bin/env bash
# Live reload in --editor mode under Xvfb: a picture in data/ overwritten while the program runs
# shows within a second; one cut short keeps the old picture with one line on standard error, and
# the next change (written and renamed into place) is taken. Run inside xvfb-run, 1024 x 768:
#   asset_reload.sh KORVALIN RUN-FOLDER ARTIFACT-DIR
# Exit 77 means skipped (no run folder yet).
set -u
unset SDL_VIDEODRIVER
program=$1 run_folder=$2 artifacts=$3
work=$(mktemp -d)
pid=
fail() {
  echo "FAIL: $*"
  sed 's/^/  stderr: /' "$work/stderr.log" 2>/dev/null | tail -n 20
  exit 1
}
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
[ -d "$run_folder/data" ] || { echo "SKIP: no run folder at $run_folder"; exit 77; }
cp -r "$run_folder"/. "$work"/
rm -f "$work/save.brz.meta"
mkdir -p "$artifacts"

# One opaque Layer 2D clip over the whole demo showing slot 6, data/tausta2.jpg.
{
  printf '\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x7a\x44'  # layer 0: one clip, 0 s, 1000 s
  printf '\x00\x00\xc0\x40\x00\x00\x80\x3f\x00\x00\x00\x00'              # Image ID 6, blend 1 0
  for layer in $(seq 1 15); do printf "\\x$(printf %02x "$layer")\\x00\\x00"; done
} >"$work/save.brz"
convert -size 256x256 xc:'rgb(230,20,20)' -quality 95 "$work/red.jpg"
convert -size 256x256 xc:'rgb(20,20,230)' -quality 95 "$work/blue.jpg"

(cd "$work" && exec env SDL_AUDIODRIVER=dummy KORVALIN_HEADLESS=1 KORVALIN_TRACE_FRAMES=1 \
  "$program" --editor >/dev/null 2>"$work/stderr.log") &
pid=$!
for _ in $(seq 600); do
  grep -q "start to first frame" "$work/stderr.log" 2>/dev/null && break
  kill -0 "$pid" 2>/dev/null || fail "ended before its first frame"
  sleep 0.1
done
sleep 1

# Red and blue of the middle of the demo, from a screenshot.
shown() {
  import -window root "$artifacts/reload-$1.png" || fail "no screenshot"
  convert "$artifacts/reload-$1.png" -format '%[fx:int(255*p{320,240}.r)] %[fx:int(255*p{320,240}.b)]' info:
}
is() {  # is WHAT "RED BLUE": each within 12
  read -r r b <<<"$2"
  read -r wr wb <<<"$3"
  [ $((r - wr)) -le 12 ] && [ $((wr - r)) -le 12 ] && [ $((b - wb)) -le 12 ] && [ $((wb - b)) -le 12 ] ||
    fail "$1: the demo shows red $r blue $b, expected $wr $wb"
}

before=$(shown before)
cp "$work/red.jpg" "$work/data/tausta2.jpg"
sleep 1
is "1 s after the overwrite" "$(shown overwritten)" "230 20"

lines=$(wc -l <"$work/stderr.log")
size=$(stat -c %s "$work/blue.jpg")
head -c $((size * 2 / 3)) "$work/blue.jpg" >"$work/data/tausta2.jpg"
sleep 1
is "after a truncated picture" "$(shown truncated)" "230 20"
new=$(tail -n +$((lines + 1)) "$work/stderr.log" | grep -v '^trace:')
[ "$(grep -c . <<<"$new")" -eq 1 ] && grep -q "data/tausta2.jpg: .*picture loaded before stays" <<<"$new" ||
  fail "expected one line about the truncated picture, got: $new"

cp "$work/blue.jpg" "$work/data/.tausta2.jpg.new" && mv "$work/data/.tausta2.jpg.new" "$work/data/tausta2.jpg"
sleep 1
is "1 s after a rename into place" "$(shown renamed)" "20 230"
kill -0 "$pid" 2>/dev/null || fail "the program ended"
echo "PASS (the picture at first: $before)"
