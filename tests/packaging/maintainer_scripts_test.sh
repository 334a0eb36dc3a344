#!/usr/bin/env bash
# Runs the package's removal scripts against a root of the test's own
# (DPKG_ROOT, as dpkg gives it to scripts of a package installed elsewhere),
# with real processes standing in for running copies of Quorvelle.
#
#   maintainer_scripts_test.sh SCRIPTS_DIR INSTALLED_BUNDLE
set -uo pipefail
scripts=$1 bundle=$2

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill -KILL "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

root=$work/root
rule=$root/etc/udev/rules.d/70-quorvelle.rules
link=$root/usr/local/bin/quorvelle
postrm() { DPKG_ROOT=$root "$scripts/postrm" "$@" >"$work/out" 2>&1 || fail "postrm $* failed: $(cat "$work/out")"; }
prerm() { DPKG_ROOT=$root "$scripts/prerm" "$@" >"$work/out" 2>"$work/err" || fail "prerm $* failed: $(cat "$work/err")"; }
make_grant() {
  mkdir -p "$(dirname "$rule")" "$(dirname "$link")"
  echo '# Quorvelle' >"$rule"
  ln -sfn "$bundle/Contents/Helpers/quorvelle" "$link"
}

# --- postrm: the grant and the system-wide command link go with the package.
make_grant
postrm upgrade 0.1.0-1
[ -e "$rule" ] && [ -L "$link" ] || fail "postrm upgrade took the grant or the link away"
postrm remove
[ ! -e "$rule" ] || fail "postrm remove left the udev rule"
[ ! -L "$link" ] || fail "postrm remove left the command link into the bundle"
postrm purge  # nothing left to do is fine

make_grant
postrm purge
[ ! -e "$rule" ] && [ ! -L "$link" ] || fail "postrm purge left the grant or the link"

# A command of that name that is not a link into the package's bundle is the user's.
ln -sfn /home/someone/Applications/Quorvelle.app/Contents/Helpers/quorvelle "$link"
postrm remove
[ -L "$link" ] || fail "postrm removed a link into another copy"
rm "$link" && echo '#!/bin/sh' >"$link"
postrm remove
[ -f "$link" ] || fail "postrm removed a file of the user's"

# --- prerm: running copies quit before their files go.
main=$root$bundle/Contents/MacOS/Quorvelle
mkdir -p "$(dirname "$main")" "$work/elsewhere"
cp "$(command -v sleep)" "$main"
cp "$(command -v sleep)" "$work/elsewhere/Quorvelle"

# Starts a command in the background; returns once its process runs the
# program given first.
started=
start() {
  local program=$1
  shift
  "$@" &
  started=$!
  pids+=("$started")
  for _ in $(seq 200); do
    [ "$(readlink "/proc/$started/exe" 2>/dev/null)" = "$program" ] && return 0
    sleep 0.05
  done
  fail "could not start $*"
}
# The exit status of a process started above (128 + signal when killed).
status_of() { wait "$1"; echo $?; }

start "$main" "$main" 300
copy=$started
start "$work/elsewhere/Quorvelle" "$work/elsewhere/Quorvelle" 300
other=$started
prerm upgrade 0.1.0-1
kill -0 "$copy" 2>/dev/null || fail "prerm upgrade quit the running copy"

prerm remove
[ "$(status_of "$copy")" = 143 ] || fail "prerm remove did not quit the running copy with SIGTERM"
kill -0 "$other" 2>/dev/null || fail "prerm remove quit a program of the same name elsewhere"
grep -q "Quitting the running Quorvelle (process $copy)" "$work/out" || fail "prerm said: $(cat "$work/out")"

# A copy that ignores SIGTERM still holds the keyboards: it is killed after the deadline.
start "$main" bash -c 'trap "" TERM; exec "$0" 300' "$main"
stubborn=$started
prerm remove
[ "$(status_of "$stubborn")" = 137 ] || fail "prerm remove did not kill a copy that ignores SIGTERM"
grep -q "did not quit and was stopped" "$work/err" || fail "prerm gave no warning: $(cat "$work/err")"

prerm remove  # nothing running is fine
[ ! -s "$work/out" ] || fail "prerm with nothing running said: $(cat "$work/out")"

[ "$failures" -eq 0 ] || { echo "$failures failures"; exit 1; }
echo "maintainer scripts checked"
