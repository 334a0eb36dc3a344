#!/usr/bin/env bash
# Builds and prints the benchmark figures (nothing here fails on a figure).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
build/bench/hyper_key_bench --benchmark_min_time=0.2
build/bench/shell_bench --benchmark_min_time=0.2
build/bench/tray_bench --benchmark_min_time=0.2
# A key frame through the Linux tap: the pipeline alone, and over sockets.
build/bench/tap_bench --benchmark_min_time=0.2
# Key latency through the engine beside the peer filter, in the test VM: on
# QEMU's real-time clock, then on an instruction-counted one.
python3 tests/vm/run_vm.py --build-dir build --only latency
python3 tests/vm/run_vm.py --build-dir build --only latency --icount 3
