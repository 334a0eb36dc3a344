#!/usr/bin/env bash
# Builds and prints the benchmark figures (nothing here fails on a figure).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh all
build/bench/hyper_key_bench --benchmark_min_time=0.2
build/bench/shell_bench --benchmark_min_time=0.2
build/bench/preferences_bench --benchmark_min_time=0.2
build/bench/tray_bench --benchmark_min_time=0.2
# The whole application: start-up to the engine and the tray icon, and its
# memory, under an X server with a tray host on a private session bus.
dbus-run-session -- bash scripts/with_xvfb.sh \
  build/bench/app_startup_bench build/Quorvelle.app build/bench/quorvelle_bench_app
# A key frame through the Linux tap: the pipeline alone, and over sockets.
build/bench/tap_bench --benchmark_min_time=0.2
# Key latency from the host's key press to an X client, in the test VM on a
# whole Debian system: without Quorvelle, then with it.
python3 tests/vm/system/run_system.py --build-dir build \
  --only latency_without_quorvelle,first_start,latency_with_quorvelle
grep -i latency build/system-results.txt
