#!/usr/bin/env bash
# Live reload under Xvfb: an overwritten picture shows within a second, a truncated one keeps the
# old picture with one line, a picture renamed into place is taken. Exit 77: no run folder.
set -u && unset SDL_VIDEODRIVER
program=$1 run_folder=$2 artifacts=$3 work=$(mktemp -d) pid=
fail() { echo "FAIL: $*"; sed 's/^/  stderr: /' "$work/stderr.log" | tail -n 20; exit 1; }
. "$(dirname "$0")/../common/e2e_end.sh"
trap 'end_program "$pid"; rm -rf "$work"' EXIT
[ -d "$run_folder/data" ] || { echo "SKIP: no run folder at $run_folder"; exit 77; }
cp -r "$run_folder"/. "$work"/ && rm -f "$work/save.brz.meta" && mkdir -p "$artifacts"
# One opaque Layer 2D clip from 0 to 1000 s showing slot 6, data/tausta2.jpg; layers 1-15 empty.
{ printf '\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x7a\x44\x00\x00\xc0\x40\x00\x00\x80\x3f\x00\x00\x00\x00'
  for layer in {1..15}; do printf "\\x$(printf %02x "$layer")\\x00\\x00"; done; } >"$work/save.brz"
for c in red:230,20,20 blue:20,20,230; do convert -size 256x256 xc:"rgb(${c#*:})" -quality 95 "$work/${c%%:*}.jpg"; done
(cd "$work" && exec env SDL_AUDIODRIVER=dummy KORVALIN_HEADLESS=1 KORVALIN_TRACE_FRAMES=1 \
  "$program" --editor >/dev/null 2>"$work/stderr.log") &
pid=$!
timeout 60 bash -c "until grep -q 'start to first frame' '$work/stderr.log'; do sleep 0.1; done" && sleep 1
shows() {  # WHAT "RED BLUE": the middle of the demo's picture a second after a change, each within 12
  sleep 1 && import -window root "$artifacts/reload.png" || fail "no screenshot"
  read -r r b < <(convert "$artifacts/reload.png" -format '%[fx:int(255*p{320,240}.r)] %[fx:int(255*p{320,240}.b)]' info:)
  read -r wr wb <<<"$2"
  (((r - wr) ** 2 <= 144 && (b - wb) ** 2 <= 144)) || fail "$1: the demo shows red $r blue $b, expected $wr $wb"
}
cp "$work/red.jpg" "$work/data/tausta2.jpg"
shows "after the overwrite" "230 20"
lines=$(wc -l <"$work/stderr.log")
head -c $(($(stat -c %s "$work/blue.jpg") * 2 / 3)) "$work/blue.jpg" >"$work/data/tausta2.jpg"
shows "after a truncated picture" "230 20"
new=$(tail -n +$((lines + 1)) "$work/stderr.log" | grep -v '^trace:')
[ "$(grep -c . <<<"$new")" -eq 1 ] && grep -q "data/tausta2.jpg: .*picture loaded before stays" <<<"$new" ||
  fail "expected one line about the truncated picture, got: $new"
cp "$work/blue.jpg" "$work/data/.new.jpg" && mv "$work/data/.new.jpg" "$work/data/tausta2.jpg"
shows "after a rename into place" "20 230"
kill -0 "$pid" 2>/dev/null && echo PASS || fail "the program ended"
