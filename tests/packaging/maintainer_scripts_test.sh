#!/usr/bin/env bash
# Runs the package's removal scripts against a root of the test's own
# (DPKG_ROOT, as dpkg gives it to the scripts of a package installed there),
# with real processes standing in for running copies of Quorvelle.
#
#   maintainer_scripts_test.sh SCRIPTS_DIR INSTALLED_BUNDLE
set -uo pipefail
scripts=$1 bundle=$2

work=$(mktemp -d)
pids=()
trap 'kill -KILL "${pids[@]}" 2>/dev/null; rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
run() { DPKG_ROOT=$work "$scripts/$1" "${@:2}" >"$work/out" 2>"$work/err" || fail "$* failed: $(cat "$work/err")"; }

# The input access grant (prerm) and a command link into the bundle (postrm)
# go with the package, on removal only; a command of that name going
# elsewhere stays.
rule=$work/etc/udev/rules.d/70-quorvelle.rules
link=$work/usr/local/bin/quorvelle
mkdir -p "$(dirname "$rule")" "$(dirname "$link")"
touch "$rule" && ln -s "$bundle/Contents/Helpers/quorvelle" "$link"
run prerm upgrade 0.1.0-1
run postrm upgrade 0.1.0-1
[ -e "$rule" ] && [ -L "$link" ] || fail "an upgrade took the grant or the link"
run prerm remove
run postrm remove
[ ! -e "$rule" ] && [ ! -L "$link" ] || fail "removal left the grant or the link"
ln -s /home/someone/Applications/Quorvelle.app/Contents/Helpers/quorvelle "$link"
run postrm purge
[ -L "$link" ] || fail "postrm removed a link into another copy"

# prerm: running copies quit before their files go.
main=$work$bundle/Contents/MacOS/Quorvelle
mkdir -p "$(dirname "$main")" "$work/elsewhere"
cp "$(command -v sleep)" "$main"
cp "$(command -v sleep)" "$work/elsewhere/Quorvelle"
# Starts a command in the background and waits until it runs PROGRAM.
start() {
  "${@:2}" &
  pids+=($!)
  for _ in $(seq 1200); do
    [ "$(readlink "/proc/$!/exe")" = "$1" ] && return
    sleep 0.05
  done
  fail "could not start ${*:2}"
}

start "$main" "$main" 300
copy=$!
start "$work/elsewhere/Quorvelle" "$work/elsewhere/Quorvelle" 300
other=$!
run prerm upgrade 0.1.0-1
kill -0 "$copy" || fail "prerm upgrade quit the running copy"
# Time enough to quit on any machine, however busy. (Exit statuses are waited
# for in this shell: a subshell cannot wait for its parent's children.)
QUORVELLE_QUIT_DEADLINE_TENTHS=6000 run prerm remove
wait "$copy"; [ $? = 143 ] || fail "prerm remove did not quit the running copy with SIGTERM"
grep -q "Quitting the running Quorvelle (process $copy)" "$work/out" || fail "prerm said: $(cat "$work/out")"
kill -0 "$other" || fail "prerm remove quit a program of the same name elsewhere"

# A copy that ignores SIGTERM would keep the keyboards grabbed: it is killed.
# It runs the main executable only once it ignores SIGTERM.
start "$main" bash -c 'trap "" TERM; exec "$0" 300' "$main"
stubborn=$!
QUORVELLE_QUIT_DEADLINE_TENTHS=5 run prerm remove
wait "$stubborn"; [ $? = 137 ] || fail "prerm remove did not kill a copy that ignores SIGTERM"
grep -q "did not quit and was stopped" "$work/err" || fail "prerm gave no warning: $(cat "$work/err")"

[ "$failures" -eq 0 ] || { echo "$failures failures"; exit 1; }
echo "maintainer scripts checked"
