#!/usr/bin/env bash
# What a zstd entry costs against a stored entry of the same result:
#  1. the decoder alone (zstd_decode_bench), natively and as the 32-bit
#     Windows build under Wine, on one large real executable;
#  2. the engine natively (apply_bench --file): the file as a .dvx zstd entry
#     beside a .dvk stored entry, medians of 5, peak memory;
#  3. the program under Wine (/quiet, no display) applying a .dvx whose one
#     entry is that file compressed, beside a .dvk storing it, in the same run
#     (median of 3, process start included). This part needs a dvk that
#     writes .dvx (pack --format dvx) and an updater that applies it.
# Goals: under Wine at least 150 MB/s of output and 0.5 of the stored entry;
# natively 0.5 of the stored entry.
#
#   bash tests/bench/zstd-apply-bench.sh [FILE]
#
# FILE defaults to the largest new file of tests/bench/release-pairs.sh's
# pairs (mariadbd, 26 MB). Build both presets first.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$repo/scripts/wine-env.sh"
win32="$repo/build/win32" native="$repo/build/native"
cache=${DVK_RELEASE_PAIRS:-$repo/build/release-pairs}
file=${1:-}
if [ -z "$file" ]; then
  [ -r "$cache/pairs.tsv" ] || bash "$repo/tests/bench/release-pairs.sh" >/dev/null
  file=$(cut -f5 "$cache/pairs.tsv" | while read -r f; do stat -c '%s %n' "$cache/$f"; done | sort -rn | head -n 1 | cut -d' ' -f2-)
fi
work=$(mktemp -d /tmp/dvk-zstd-bench.XXXXXX)
trap 'rm -rf "$work"; wine reg delete "HKLM\\Software\\DravlekBench" /f >/dev/null 2>&1 </dev/null || true' EXIT
log="$work/log"

mkdir -p "$work/new"
cp "$file" "$work/new/payload.bin"
zstd -q -19 --long=23 -o "$work/payload.zst" "$work/new/payload.bin"
echo "file: $file ($(stat -c %s "$work/new/payload.bin") bytes, one zstd frame of $(stat -c %s "$work/payload.zst"))"

echo "== the decoder alone, natively"
"$native/tests/bench/zstd_decode_bench" "$work/payload.zst" "$work/new/payload.bin" "$work/out.bin"
echo "== the engine natively, .dvx zstd entry beside .dvk stored entry"
"$native/tests/bench/apply_bench" --file "$work/new/payload.bin" --dir "$work"
echo "== the decoder alone, 32-bit under Wine"
DISPLAY= wine "$win32/tests/bench/zstd_decode_bench.exe" "$(winepath -w "$work/payload.zst")" \
  "$(winepath -w "$work/new/payload.bin")" "$(winepath -w "$work/out.bin")" 2>"$log" </dev/null | tr -d '\r'

dvk="$native/tools/dvk/dvk"
if ! "$dvk" pack --help 2>&1 | grep -q -- '--format'; then
  echo "== the program: skipped, this dvk writes no .dvx"
  exit 0
fi

echo "== the program under Wine, /quiet (median of 3, process start included)"
mkdir -p "$work/run" "$work/root"
"$dvk" pack "$work/run/stored.dvk" --title Bench --key 'Software\DravlekBench' "$work/new" >"$log" 2>&1
"$dvk" pack "$work/run/zstd.dvx" --format dvx --title Bench --key 'Software\DravlekBench' "$work/new" >"$log" 2>&1
wine reg add 'HKLM\Software\DravlekBench' /v Path /t REG_SZ /d "$(winepath -w "$work/root")" /f >"$log" 2>&1 </dev/null
now() { date +%s.%N; }
median3() { printf '%s\n' "$@" | sort -g | sed -n 2p; }
declare -A seconds=()
for package in stored.dvk zstd.dvx; do
  runs=()
  for _ in 1 2 3; do
    rm -f "$work/root/payload.bin"
    start=$(now)
    DISPLAY= wine "$win32/ui/dravlek-update.exe" /quiet "$(winepath -w "$work/run/$package")" >"$log" 2>&1 </dev/null \
      || { echo "/quiet $package failed: $?" >&2; exit 1; }
    runs+=("$(awk -v a="$start" -v b="$(now)" 'BEGIN { print b - a }')")
    cmp -s "$work/root/payload.bin" "$work/new/payload.bin" || { echo "$package wrote other bytes" >&2; exit 1; }
  done
  seconds[$package]=$(median3 "${runs[@]}")
done
size=$(stat -c %s "$work/new/payload.bin")
awk -v n="$size" -v s="${seconds[stored.dvk]}" -v z="${seconds[zstd.dvx]}" 'BEGIN {
  printf "stored entry (.dvk) %8.2f s %8.1f MB/s\n", s, n / s / 1e6
  printf "zstd entry (.dvx)   %8.2f s %8.1f MB/s\n", z, n / z / 1e6
  printf "zstd / stored %.2f   (goals: at least 150 MB/s and 0.5)\n", s / z }'
