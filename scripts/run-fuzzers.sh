#!/usr/bin/env bash
# Runs every libFuzzer target of the fuzz build for a bounded time each,
# starting from the corpus kept in tests/fuzz/corpus (copied, never changed),
# and tests/fuzz/corpus-zstd for the decoder's target.
# Usage: run-fuzzers.sh [SECONDS_PER_TARGET]
set -euo pipefail
repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${1:-60}
build="$repo_root/build/fuzz/tests/fuzz"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for target in "$build"/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  mkdir -p "$work/$name"
  cp "$repo_root"/tests/fuzz/corpus/* "$work/$name/"
  # The decoder's own target starts from bare frames too.
  [ "$name" = fuzz_zstd_entry ] && cp "$repo_root"/tests/fuzz/corpus-zstd/* "$work/$name/"
  echo "fuzzing $name for ${seconds}s"
  # Memory limits make an unbounded allocation a failure, not a slow run.
  "$target" -max_total_time="$seconds" -rss_limit_mb=2048 -malloc_limit_mb=512 -timeout=20 \
    -artifact_prefix="$work/" "$work/$name" >"$work/$name.log" 2>&1 || {
      tail -n 40 "$work/$name.log"
      for crash in "$work"/crash-* "$work"/leak-* "$work"/oom-* "$work"/timeout-*; do
        [ -e "$crash" ] && { echo "input: $crash"; od -A d -t x1 "$crash" | head -n 20; }
      done
      echo "FAILED: $name"
      exit 1
    }
  grep -E '^Done [0-9]+ runs' "$work/$name.log" || true
done
echo "fuzzing: no crash, leak or unbounded allocation"
