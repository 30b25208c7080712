#!/usr/bin/env bash
# Rebuilds tests/fixtures/old-updater/dravlek-update-b4e4b19.exe: the updater
# as it was before it knew .dvx packages (commit b4e4b19), built by this
# project's own win32 preset from that commit's tree and stripped. The
# old-updater test runs it to show that such an updater never takes a .dvx.
# The benchmarks build other commits with it into a file of their choice.
#   scripts/build-old-updater.sh [COMMIT [OUTPUT.exe]]
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
commit=${1:-b4e4b19}
fixture_dir="$repo/tests/fixtures/old-updater"
short=$(git -C "$repo" rev-parse --short=7 "$commit^{commit}")
output=${2:-$fixture_dir/dravlek-update-$short.exe}

# The commit's tree, exported into the build folder: git's own list of
# worktrees is left alone, and nothing of the current tree leaks in.
mkdir -p "$repo/build"
tree=$(mktemp -d "$repo/build/old-updater.XXXXXX")
trap 'rm -rf "$tree"' EXIT
git -C "$repo" archive "$short" | tar -x -C "$tree"

(
  cd "$tree"
  cmake --preset win32 >"$tree/configure.log" 2>&1 || { cat "$tree/configure.log" >&2; exit 1; }
  cmake --build --preset win32 -j2 --target dravlek-update >"$tree/build.log" 2>&1 \
    || { cat "$tree/build.log" >&2; exit 1; }
)

mkdir -p "$(dirname "$output")"
i686-w64-mingw32-strip -o "$output" "$tree/build/win32/ui/dravlek-update.exe"
ls -l "$output"
