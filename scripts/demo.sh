#!/usr/bin/env bash
# Builds the Windows program and reports what was built.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
bash scripts/bootstrap.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j "$(nproc)"
echo
echo "Built the Windows side of Dravlek Update in build/win32."
echo "The updater's dialogs are not part of this build yet; the core's tests run under Wine with:"
echo "  ctest --preset win32"
