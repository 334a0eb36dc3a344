#!/usr/bin/env bash
# Installs what Quorvelle needs, builds it (without the tests), and starts it
# in this desktop session. It runs until it is quit from its menu, or with Ctrl+C here.
set -euo pipefail
cd "$(dirname "$0")/.."

# Quorvelle lives in the desktop's tray: without a display there is nothing to
# start it in. (QT_QPA_PLATFORM names a display of Qt's own choosing.)
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "run: no display: neither DISPLAY nor WAYLAND_DISPLAY is set." >&2
  echo "run: Quorvelle is a desktop application; run this in a terminal of your desktop session." >&2
  exit 1
fi

bash scripts/setup.sh app
echo "run: starting Quorvelle (quit it from its menu, or press Ctrl+C here)"
exec build/Quorvelle.app/Contents/MacOS/Quorvelle
