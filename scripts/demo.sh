#!/usr/bin/env bash
# Builds the updater and shows it working under Wine, in a throwaway prefix
# with a demo installation and two sample packages.
#
# With DISPLAY set, the updater opens on that display for you to use.
# Without one, it runs on a private Xvfb display, where a scripted
# walk-through updates the demo installation and saves a screenshot of each
# step (selection, confirmation, progress, done); their paths are printed.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
repo_root=$(pwd)

bash scripts/bootstrap.sh
jobs=$(nproc)
echo "Building (native tools and the Windows program)..."
cmake --preset native >/dev/null
cmake --build --preset native -j "$jobs" --target dvk >/dev/null
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j "$jobs" --target dravlek-update demo_walk >/dev/null

demo=$repo_root/build/demo
rm -rf "$demo"
mkdir -p "$demo/packages" "$demo/content-fixes/data" "$demo/content-help" "$demo/shots"
export DVK_WINEPREFIX=$demo/wineprefix
echo "Making a throwaway Wine prefix in $DVK_WINEPREFIX..."
source scripts/wine-env.sh
log=$demo/wine.log

# The demo installation: an install root with a few files, found through the
# registry as the updater expects.
root_unix="$WINEPREFIX/drive_c/Program Files/Dravlek Demo"
mkdir -p "$root_unix/data"
printf 'Dravlek Demo 2.0\r\n' >"$root_unix/app.exe"
printf 'version=2.0\r\n' >"$root_unix/data/settings.ini"
printf 'Dravlek Demo 2.0: read me\r\n' >"$root_unix/readme.txt"
wine reg add 'HKLM\Software\Dravlek\Demo' /v Path /t REG_SZ /d 'C:\Program Files\Dravlek Demo' /f >"$log" 2>&1 </dev/null
# Let this prefix's Wine session end, so that the next one starts on the
# display chosen below rather than on none.
wineserver -w

# Two sample packages, written by the package writer (dvk pack). The first
# carries a large file so that the progress dialog has something to show.
printf 'Dravlek Demo 2.1\r\n' >"$demo/content-fixes/app.exe"
printf 'version=2.1\r\n' >"$demo/content-fixes/data/settings.ini"
head -c 24000000 /dev/urandom >"$demo/content-fixes/data/library.dat"
printf 'Dravlek Demo 2.1: read me\r\n' >"$demo/content-help/readme.txt"
dvk=$repo_root/build/native/tools/dvk/dvk
"$dvk" pack "$demo/packages/demo-2.1-fixes.dvk" --title "Dravlek Demo 2.1 - fixes" \
  --key 'Software\Dravlek\Demo' --required app.exe "$demo/content-fixes" >/dev/null
"$dvk" pack "$demo/packages/demo-2.1-help.dvk" --title "Dravlek Demo 2.1 - help files" \
  --key 'Software\Dravlek\Demo' "$demo/content-help" >/dev/null
rm -rf "$demo/content-fixes" "$demo/content-help"

updater=$repo_root/build/win32/ui/dravlek-update.exe
echo "Demo folder:  $demo/packages"
echo "Install root: $root_unix"

if [ -n "${DISPLAY:-}" ]; then
  echo "Starting the updater on $DISPLAY; it ends when you close it."
  (cd "$demo/packages" && wine "$updater" >>"$log" 2>&1 </dev/null)
  echo "Install root now holds:"
  (cd "$root_unix" && find . -type f | sort)
  exit 0
fi

# Headless: walk through an update on a private display, photographing each step.
walk() {
  local steps=$demo/steps
  mkdir -p "$steps"
  wine "$repo_root/build/win32/tests/e2e/demo_walk.exe" "$(winepath -w "$updater")" \
    "$(winepath -w "$demo/packages")" "$(winepath -w "$steps")" >"$demo/walk.log" 2>&1 </dev/null &
  local walker=$!
  local step
  for step in 1-selection 2-confirmation 3-progress 4-done; do
    while [ ! -e "$steps/$step.ready" ]; do
      if ! kill -0 "$walker" 2>/dev/null; then echo "demo: the walk-through stopped:" >&2; grep -v fixme "$demo/walk.log" >&2; return 1; fi
      sleep 0.1
    done
    sleep 1.5  # let the step's windows finish drawing
    import -silent -window root "$demo/shots/$step-full.png"
    convert "$demo/shots/$step-full.png" -trim -bordercolor black -border 12 "$demo/shots/$step.png"
    rm -f "$demo/shots/$step-full.png"
    touch "$steps/$step.done"
  done
  wait "$walker"
}
echo "No DISPLAY: running a scripted walk-through on a private Xvfb display..."
export -f walk
export demo repo_root updater
scripts/with-xvfb.sh bash -c walk

echo "Screenshots:"
for step in 1-selection 2-confirmation 3-progress 4-done; do echo "  $demo/shots/$step.png"; done
echo "Install root after the update:"
(cd "$root_unix" && find . -type f | sort | sed 's/^/  /')
