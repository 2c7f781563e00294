#!/usr/bin/env bash
# Live reload under Xvfb: an overwritten picture shows within a second, a truncated one keeps the
# old picture with one line, a picture renamed into place is taken. Exit 77: no run folder.
set -u
program=$1 run_folder=$2 artifacts=$3 case_name=asset-reload assetgen= trace=1
. "$(dirname "$0")/e2e_lib.sh"
rm -f "$work/save.brz.meta" && mkdir -p "$artifacts"
# One opaque Layer 2D clip from 0 to 1000 s showing slot 6, data/tausta2.jpg; layers 1-15 empty.
{ printf '\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x7a\x44\x00\x00\xc0\x40\x00\x00\x80\x3f\x00\x00\x00\x00'
  for layer in {1..15}; do printf "\\x$(printf %02x "$layer")\\x00\\x00"; done; } >"$work/save.brz"
for c in red:230,20,20 blue:20,20,230; do convert -size 256x256 xc:"rgb(${c#*:})" -quality 95 "$work/${c%%:*}.jpg"; done
start --editor KORVALIN_HEADLESS=1
sleep 1
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
alive && echo PASS
