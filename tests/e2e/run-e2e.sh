#!/usr/bin/env bash
# Runs the end-to-end tests under Wine on a private Xvfb display, in the
# project's prefix, with the test product registered through "wine reg add".
# The tests find what they work with in DVK_E2E_* (tests/support/UpdaterProcess.h).
#   run-e2e.sh <updater_e2e.exe> <dravlek-update.exe> <status_hook.dll> <work folder> [GoogleTest flags]
set -u
tests=$1 updater=$2 hook=$3 work=$4
shift 4
repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$repo_root/scripts/wine-env.sh"

mkdir -p "$work/root" "$work/trust/app"
# A protected product's folder reached through a link (Wine shows it as a
# reparse point; it cannot make junctions).
ln -sfn trust/app "$work/app-link"
out="$work/driver-output.txt"
setup="$work/setup-output.txt"
win_root=$(winepath -w "$work/root" 2>/dev/null)
{
  wine reg add 'HKLM\Software\DravlekE2E\Product' /v Path /t REG_SZ /d "$win_root" /f
  wine reg delete 'HKLM\Software\DravlekE2E\Missing' /f
  # Left by a run that ended early, they would refuse unsigned packages.
  wine reg delete 'HKLM\Software\Policies\Dravlek' /f
  wine reg delete 'HKLM\Software\Dravlek\SignedProducts' /f
} >"$setup" 2>&1 </dev/null

export DVK_E2E_UPDATER=$(winepath -w "$updater" 2>/dev/null)
export DVK_E2E_HOOK=$(winepath -w "$hook" 2>/dev/null)
export DVK_E2E_WORK=$(winepath -w "$work" 2>/dev/null)
export DVK_E2E_RESOURCES=$(winepath -w "$repo_root/tests/e2e/golden" 2>/dev/null)
# Output goes to a file: Wine's helper processes would hold a pipe open.
"$repo_root/scripts/with-xvfb.sh" wine "$tests" "$@" >"$out" 2>&1 </dev/null
status=$?
grep -v -E '^[0-9a-f]{4}:(fixme|err):' "$out"
exit $status
