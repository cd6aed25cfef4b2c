#!/usr/bin/env bash
# Runs every fuzz target listed in BUILD/fuzz/targets.txt for SECONDS from its seeds and kept
# corpus, with fuzz/NAME.dict if present; stops at the first crash (the input in artifacts/).
# Usage: fuzz/smoke.sh BUILD_DIR SECONDS_PER_TARGET
set -euo pipefail
build=$1
seconds=$2
here=$(cd "$(dirname "$0")" && pwd)

# A small quarantine keeps the allocation-heavy render target three times faster; use after
# free is still caught within the last 16 MB freed.
export ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=16}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}

for target in $(cat "$build/fuzz/targets.txt"); do
  corpus=$build/fuzz/corpus/$target
  artifacts=$build/fuzz/artifacts
  mkdir -p "$corpus" "$artifacts"
  dict=()
  [ -f "$here/$target.dict" ] && dict=(-dict="$here/$target.dict")
  log=$build/fuzz/$target.log
  echo "fuzz-smoke: $target for ${seconds}s"
  status=0
  "$build/fuzz/$target" "${dict[@]}" -max_total_time="$seconds" -timeout=60 -print_final_stats=1 \
    -artifact_prefix="$artifacts/$target-" "$corpus" "$build/fuzz/seeds/$target" >"$log" 2>&1 || status=$?
  grep -E '^#[0-9]+[[:space:]]+(INITED|DONE)|^stat::(number_of_executed_units|average_exec_per_sec|new_units_added)' "$log" || true
  if [ "$status" -ne 0 ]; then
    tail -n 80 "$log" >&2
    echo "fuzz-smoke: $target failed; the input is in $artifacts, the whole log in $log" >&2
    exit 1
  fi
done
