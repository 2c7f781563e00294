#!/usr/bin/env bash
# Saving over a project the user may not write fails with one line and leaves it as it was.
# Root may write anything, so as root the saves run as the user nobody (setpriv or runuser);
# without either tool the test is skipped (status 77).
#   save_as_user.sh SAVE-AS-USER-PROGRAM
set -u
program=$1

as_user() { "$@"; }
if [ "$(id -u)" -eq 0 ]; then
  if command -v setpriv >/dev/null; then
    as_user() { setpriv --reuid=nobody --regid=nogroup --clear-groups "$@"; }
  elif command -v runuser >/dev/null; then
    as_user() { runuser -u nobody -- "$@"; }
  else
    echo "SKIP: running as root with neither setpriv nor runuser to drop to an ordinary user"
    exit 77
  fi
fi
user=$(as_user id -un)

work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
chmod 755 "$work"
# The program where the user can run it, whatever the permissions of the build tree.
cp "$program" "$work/save_as_user"
fail() { echo "FAIL: $*"; exit 1; }

# $1: folder, $2: expected status; checks that a refused save leaves the folder as it was.
try_save() {
  before=$(cd "$1" && ls -la --ignore=.. --time-style=+%s.%N && md5sum save.brz 2>/dev/null)
  as_user "$work/save_as_user" "$1/save.brz" 2>"$work/error.log"
  status=$?
  [ "$status" -eq "$2" ] || fail "save in $1 gave status $status, expected $2: $(cat "$work/error.log")"
  [ "$2" -eq 0 ] && return
  [ "$(wc -l <"$work/error.log")" -eq 1 ] || fail "expected one line, got: $(cat "$work/error.log")"
  grep -q "^$1/save.brz.*Permission denied" "$work/error.log" || fail "unexpected message: $(cat "$work/error.log")"
  after=$(cd "$1" && ls -la --ignore=.. --time-style=+%s.%N && md5sum save.brz 2>/dev/null)
  [ "$before" = "$after" ] || fail "the refused save changed $1: $(diff <(echo "$before") <(echo "$after"))"
}

# The user's own folder: a write-protected project is kept, a writable one is saved.
mkdir "$work/own"
printf 'the only copy' >"$work/own/save.brz"
chmod 444 "$work/own/save.brz"
chown -R "$user" "$work/own"
try_save "$work/own" 1
chmod 644 "$work/own/save.brz"
try_save "$work/own" 0

# A writable project in a folder the user may not write: no temporary file, nothing replaced.
mkdir "$work/shared"
printf 'the only copy' >"$work/shared/save.brz"
chown "$user" "$work/shared/save.brz"
chmod 555 "$work/shared"
try_save "$work/shared" 1
echo "PASS (as $user)"
