#!/usr/bin/env bash
# Without a display the start command says so and stops before it installs,
# builds or starts anything: it prints nothing but its own lines.
#
#   start_script_test.sh SOURCE_DIR
set -uo pipefail
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM bash "$1/scripts/run.sh" 2>&1)
status=$?
[ "$status" -ne 0 ] && [[ "$out" == "run: no display"* ]] && ! grep -qv '^run: ' <<<"$out" ||
  { echo "FAIL: exit status $status, output: $out"; exit 1; }
