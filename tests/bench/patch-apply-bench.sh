#!/usr/bin/env bash
# What a patch package costs to make and to apply, on one real pair of
# releases (mariadbd of tests/bench/release-pairs.sh, 26 MB, by default):
#  1. dvk pack --format dvx --from OLD NEW, natively: the package's size
#     against the new file, wall and processor time, peak memory (the
#     self-check of every patch included), with and without a whole copy;
#  2. the engine natively (dvk extract of the patch package into a copy of
#     the old release): wall time and peak memory. The peak counts the pages
#     of the old file the decoder reads through its read-only view: they
#     belong to the file, not to the process;
#  3. the program under Wine (/quiet, no display), the patch package beside a
#     .dvk storing the new file whole, applied to the old release in the same
#     run (median of 3, process start included), and the start alone (a
#     package of one byte), so the rate is also given without it.
# Goals: the patch at most 8 % of the file; dvk within 60 s and 1 GB; under
# Wine at least 150 MB/s of output and 0.5 of the stored entry; at most 64 MB
# of private memory applying it.
#
#   bash tests/bench/patch-apply-bench.sh [OLD NEW]
#
# Build both presets first.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$repo/scripts/wine-env.sh"
win32="$repo/build/win32" native="$repo/build/native"
cache=${DVK_RELEASE_PAIRS:-$repo/build/release-pairs}
old=${1:-} new=${2:-}
if [ -z "$old" ]; then
  [ -r "$cache/pairs.tsv" ] || bash "$repo/tests/bench/release-pairs.sh" >/dev/null
  read -r old new < <(awk -F'\t' '$1 == "mariadb-server-core" { print $4, $5 }' "$cache/pairs.tsv")
  old=$cache/$old new=$cache/$new
fi
dvk="$native/tools/dvk/dvk"
work=$(mktemp -d /tmp/dvk-patch-bench.XXXXXX)
trap 'rm -rf "$work"; wine reg delete "HKLM\\Software\\DravlekBench" /f >/dev/null 2>&1 </dev/null || true' EXIT
log="$work/log"
name=$(basename "$new")
mkdir -p "$work/old" "$work/new" "$work/tiny" "$work/run"
cp "$old" "$work/old/$name"
cp "$new" "$work/new/$name"
head -c 1 /dev/zero >"$work/tiny/$name"
size=$(stat -c %s "$work/new/$name")
echo "file: $name, $(stat -c %s "$work/old/$name") bytes before, $size after"

# Runs a command under GNU time; prints wall s, user+sys s, peak MB.
measured() {
  /usr/bin/time -f '%e %U %S %M' -o "$work/time" "$@" >"$log" 2>&1 || { cat "$log"; exit 1; }
  awk '{ printf "%7.1f s wall %7.1f s processor %6.0f MB peak", $1, $2 + $3, $4 / 1024 }' "$work/time"
}
product=(--title Bench --key 'Software\DravlekBench')

echo "== dvk pack --from, natively"
printf '%-22s %s, %s bytes (%s of the new file)\n' "patch only:" \
  "$(measured "$dvk" pack "$work/run/patch.dvx" "${product[@]}" --format dvx --from "$work/old" --no-whole "$work/new")" \
  "$(stat -c %s "$work/run/patch.dvx")" \
  "$(awk -v p="$(stat -c %s "$work/run/patch.dvx")" -v n="$size" 'BEGIN { printf "%.2f %%", 100 * p / n }')"
printf '%-22s %s, %s bytes\n' "patch and whole copy:" \
  "$(measured "$dvk" pack "$work/run/both.dvx" "${product[@]}" --format dvx --from "$work/old" "$work/new")" \
  "$(stat -c %s "$work/run/both.dvx")"
"$dvk" pack "$work/run/stored.dvk" "${product[@]}" "$work/new" >"$log" 2>&1
"$dvk" pack "$work/run/tiny.dvk" "${product[@]}" "$work/tiny" >"$log" 2>&1

echo "== the engine natively: dvk extract of the patch into the old release"
rm -rf "$work/root" && cp -r "$work/old" "$work/root"
printf '%-22s %s\n' "patch:" "$(measured "$dvk" extract "$work/run/patch.dvx" --to "$work/root" --quiet)"
cmp -s "$work/root/$name" "$work/new/$name" || { echo "the patch wrote other bytes" >&2; exit 1; }

echo "== the program under Wine, /quiet (median of 3, process start included)"
wine reg add 'HKLM\Software\DravlekBench' /v Path /t REG_SZ /d "$(winepath -w "$work/root")" /f >"$log" 2>&1 </dev/null
now() { date +%s.%N; }
median3() { printf '%s\n' "$@" | sort -g | sed -n 2p; }
declare -A seconds=()
for package in tiny.dvk stored.dvk patch.dvx; do
  runs=()
  for _ in 1 2 3; do
    cp "$work/old/$name" "$work/root/$name"
    start=$(now)
    DISPLAY= wine "$win32/ui/dravlek-update.exe" /quiet "$(winepath -w "$work/run/$package")" >"$log" 2>&1 </dev/null \
      || { echo "/quiet $package failed: $?" >&2; exit 1; }
    runs+=("$(awk -v a="$start" -v b="$(now)" 'BEGIN { print b - a }')")
  done
  [ "$package" = tiny.dvk ] || cmp -s "$work/root/$name" "$work/new/$name" \
    || { echo "$package wrote other bytes" >&2; exit 1; }
  seconds[$package]=$(median3 "${runs[@]}")
done
awk -v n="$size" -v t="${seconds[tiny.dvk]}" -v s="${seconds[stored.dvk]}" -v p="${seconds[patch.dvx]}" 'BEGIN {
  printf "start alone (1 byte)  %6.2f s\n", t
  printf "stored entry (.dvk)   %6.2f s %7.1f MB/s, %7.1f MB/s without the start\n", s, n / s / 1e6, n / (s - t) / 1e6
  printf "patch entry (.dvx)    %6.2f s %7.1f MB/s, %7.1f MB/s without the start\n", p, n / p / 1e6, n / (p - t) / 1e6
  printf "patch / stored %.2f   (goals: at least 150 MB/s and 0.5)\n", s / p }'
