#!/usr/bin/env bash
# Pictures of the built application as a user sees it (tray, menus, windows)
# into build/screenshots, under an X server of their own.
set -euo pipefail
cd "$(dirname "$0")/.."
ninja -C build quorvelle_main tray_looks
bash scripts/with_xvfb.sh bash bench/pictures/screenshots.sh \
  build/Quorvelle.app build/screenshots build/bench/tray_looks
