#!/usr/bin/env bash
# Without a display the start command says so and stops before it installs,
# builds or starts anything.
#
#   start_script_test.sh SOURCE_DIR
set -uo pipefail
source_dir=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM bash "$source_dir/scripts/run.sh" \
  >"$work/out" 2>"$work/err"
status=$?
failures=0
[ "$status" -ne 0 ] || { echo "FAIL: exit status 0 without a display"; failures=1; }
grep -qi "no display" "$work/err" || { echo "FAIL: stderr does not say why: $(cat "$work/err")"; failures=1; }
[ ! -s "$work/out" ] || { echo "FAIL: it went on: $(cat "$work/out")"; failures=1; }
exit "$failures"
