#!/bin/sh
# Runs the fuzzer for a bounded time on a copy of the checked-in seeds; fails
# on any crash or sanitizer report.  run_fuzzer.sh FUZZER SEEDS SECONDS
set -eu
fuzzer=$1 seeds=$2 seconds=$3
work=$(mktemp -d /tmp/quorvelle-fuzz-XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir "$work/corpus"
cp "$seeds"/* "$work/corpus/"
"$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=1024 -max_len=4096 \
  -print_final_stats=1 -artifact_prefix="$work/" "$work/corpus" > "$work/log" 2>&1 || {
  tail -n 60 "$work/log"
  for crash in "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-*; do
    [ -e "$crash" ] && { echo "input that failed ($crash):"; od -c "$crash" | head -n 20; }
  done
  exit 1
}
grep -E '^stat::number_of_executed_units|^#[0-9]+.*DONE' "$work/log" || true
