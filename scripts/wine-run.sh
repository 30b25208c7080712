#!/usr/bin/env bash
# Runs a Windows program under the project's Wine prefix and passes on its
# output and exit status. CTest uses it as the emulator of the Windows build.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"

out=$(mktemp)
trap 'rm -f "$out"' EXIT
wine "$@" >"$out" 2>&1 </dev/null
status=$?
cat "$out"
exit $status
