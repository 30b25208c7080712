#!/usr/bin/env bash
# Builds everything and runs every test: the native unit tests, the same under
# ASan and UBSan, the fuzzers for a bounded time, and the Windows build's tests
# under Wine. Installs what it needs first (as root). Fails on any failure.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

bash scripts/bootstrap.sh
jobs=$(nproc)

step() { printf '\n=== %s\n' "$*"; }

step "native build and tests"
cmake --preset native >/dev/null
cmake --build --preset native -j "$jobs"
ctest --preset native -j "$jobs"

step "native tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake --preset sanitize >/dev/null
cmake --build --preset sanitize -j "$jobs"
ctest --preset sanitize -j "$jobs"

step "fuzzing"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs"
bash scripts/run-fuzzers.sh "${DVK_FUZZ_SECONDS:-60}"

step "Windows build and its tests under Wine"
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j "$jobs"
ctest --preset win32

step "all tests passed"
