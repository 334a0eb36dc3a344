#!/usr/bin/env bash
# Runs a command on an X server of its own (1280x800, 24 bits), with DISPLAY
# and XAUTHORITY set for it, and ends the server with the command. The tests
# and benchmarks that need a display run under it.
#
#   with_xvfb.sh COMMAND [ARGUMENT...]
#
# The server picks a free display number itself and tells it (-displayfd), so
# commands started together never share or take each other's server; it
# answers only clients holding its cookie, and listens on no TCP port.
set -uo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The server takes every cookie in its file whatever display it names; the
# clients look theirs up by display number, added once the number is known.
export XAUTHORITY=$work/auth
cookie=$(od -An -N16 -tx1 /dev/urandom | tr -d ' \n')
xauth -q -f "$XAUTHORITY" add :0 . "$cookie" 2>/dev/null

# The number arrives on the pipe once the server accepts connections; the pipe
# closes without one if the server fails to start.
exec {numbers}< <(exec Xvfb -displayfd 3 -auth "$XAUTHORITY" -nolisten tcp -noreset -screen 0 1280x800x24 \
  3>&1 >/dev/null 2>"$work/server.log")
server=$!
trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null; rm -rf "$work"' EXIT
if ! read -r -t 60 number <&"$numbers"; then
  echo "with_xvfb: the X server did not start: $(cat "$work/server.log")" >&2
  exit 1
fi
exec {numbers}<&-
export DISPLAY=:$number
xauth -q add "$DISPLAY" . "$cookie"

"$@"
