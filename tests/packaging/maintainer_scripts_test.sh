#!/usr/bin/env bash
# Runs the package's maintainer scripts against a root of the test's own
# (DPKG_ROOT, as dpkg gives it to the scripts of a package installed there),
# with systemd's own tools working on that root and real processes standing in
# for running copies of Quorvelle.
#
#   maintainer_scripts_test.sh SCRIPTS_DIR INSTALLED_BUNDLE SYSTEMD_RESOURCES
set -uo pipefail
scripts=$1 bundle=$2 resources=$3

work=$(mktemp -d)
pids=()
trap 'kill -KILL "${pids[@]}" 2>/dev/null; rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
run() { DPKG_ROOT=$work "$scripts/$1" "${@:2}" >"$work/out" 2>"$work/err" || fail "$* failed: $(cat "$work/err")"; }

# postinst: the engine service's user and its enabled socket; the old input
# access rule goes. prerm disables the socket on removal only (that purge
# removes the user, the whole-system test sees). A command link into the bundle goes with the package; a
# command of that name going elsewhere stays.
mkdir -p "$work/etc/udev/rules.d" "$work/lib/systemd/system" "$work/usr/lib/sysusers.d" "$work/usr/local/bin"
printf 'root:x:0:0:root:/root:/bin/sh\n' >"$work/etc/passwd"
printf 'root:x:0:\n' >"$work/etc/group"
cp "$resources"/quorvelle-engine.service "$resources"/quorvelle-engine.socket "$work/lib/systemd/system/"
cp "$resources/quorvelle-engine.conf" "$work/usr/lib/sysusers.d/"
rule=$work/etc/udev/rules.d/70-quorvelle.rules
wants=$work/etc/systemd/system/sockets.target.wants/quorvelle-engine.socket
link=$work/usr/local/bin/quorvelle
touch "$rule" && ln -s "$bundle/Contents/Helpers/quorvelle" "$link"
run postinst configure
[ ! -e "$rule" ] || fail "postinst left the old input access rule"
[ "$(readlink "$wants")" = /lib/systemd/system/quorvelle-engine.socket ] || fail "postinst did not enable the socket"
grep -q '^quorvelle-engine:x:[0-9]*:[0-9]*:.*:/usr/sbin/nologin$' "$work/etc/passwd" ||
  fail "postinst made no system user: $(cat "$work/etc/passwd")"
run prerm upgrade 0.1.0-1
run postrm upgrade 0.1.0-1
[ -L "$wants" ] && [ -L "$link" ] || fail "an upgrade disabled the socket or took the link"
run prerm remove
run postrm remove
[ ! -e "$wants" ] && [ ! -L "$link" ] || fail "removal left the socket enabled or the link"
grep -q '^quorvelle-engine:' "$work/etc/passwd" || fail "remove took the user (only purge does)"
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
kill -0 "$other" || fail "prerm remove quit a program of the same name elsewhere"

# A copy that ignores SIGTERM would go on after its files are gone: it is killed.
# It runs the main executable only once it ignores SIGTERM.
start "$main" bash -c 'trap "" TERM; exec "$0" 300' "$main"
stubborn=$!
QUORVELLE_QUIT_DEADLINE_TENTHS=5 run prerm remove
wait "$stubborn"; [ $? = 137 ] || fail "prerm remove did not kill a copy that ignores SIGTERM"
grep -q "did not quit and was stopped" "$work/err" || fail "prerm gave no warning: $(cat "$work/err")"

[ "$failures" -eq 0 ] || { echo "$failures failures"; exit 1; }
echo "maintainer scripts checked"
