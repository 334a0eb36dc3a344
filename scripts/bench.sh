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
# Key latency through the engine beside the peer filter, in the test VM: on
# QEMU's real-time clock, then on an instruction-counted one.
python3 tests/vm/run_vm.py --build-dir build --only latency
python3 tests/vm/run_vm.py --build-dir build --only latency --icount 3
