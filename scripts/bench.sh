#!/usr/bin/env bash
# Builds and prints the benchmark figures (nothing here fails on a figure).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
build/bench/hyper_key_bench --benchmark_min_time=0.2
build/bench/shell_bench --benchmark_min_time=0.2
build/bench/tray_bench --benchmark_min_time=0.2
