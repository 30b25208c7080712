#!/usr/bin/env bash
# /quiet through the real program under Wine: a patch entry made from the
# installed file beside a stored entry of the same result, in the same run,
# for the largest pair of releases release-pairs.sh keeps (the ~26 MB MariaDB
# server). Median of 3 runs each, process start included, and net of the
# program's own start (the median of 3 runs on a one-byte stored entry); the
# root holds the old file before every run, and the result is compared byte
# for byte.
# Run after building both presets and tests/bench/release-pairs.sh:
#   bash tests/bench/wine-patch-bench.sh        (wine-bench.sh runs it last)
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$repo/scripts/wine-env.sh"
pairs=${DVK_RELEASE_PAIRS:-$repo/build/release-pairs}
[ -f "$pairs/pairs.tsv" ] || { echo "wine-patch-bench: no $pairs/pairs.tsv (run release-pairs.sh)" >&2; exit 1; }
read -r _ _ _ old new < <(awk -F'\t' '$1 == "mariadb-server-core"' "$pairs/pairs.tsv")
old=$pairs/$old new=$pairs/$new
work=$(mktemp -d /tmp/dvk-patch-bench.XXXXXX)
trap 'rm -rf "$work"; wine reg delete "HKLM\\Software\\DravlekBench" /f >/dev/null 2>&1 </dev/null || true' EXIT
mkdir -p "$work/packages" "$work/root"

"$repo/build/native/tests/bench/patch_bench" "$old" "$new" --packages "$work/packages"
wine reg add 'HKLM\Software\DravlekBench' /v Path /t REG_SZ /d "$(winepath -w "$work/root")" /f \
  >"$work/log" 2>&1 </dev/null
now() { date +%s.%N; }
median3() { printf '%s\n' "$@" | sort -g | sed -n 2p; }
bytes=$(stat -c %s "$new")
printf '%-8s %12s %10s %12s %10s %12s\n' entry "package B" "quiet s" "result MB/s" "net s" "net MB/s"
declare -A seconds
for kind in start patch stored; do
  package_w=$(winepath -w "$work/packages/$kind.dvx")
  runs=()
  for _ in 1 2 3; do
    cp "$old" "$work/root/payload.bin"
    start=$(now)
    DISPLAY= wine "$repo/build/win32/ui/dravlek-update.exe" /quiet "$package_w" >"$work/log" 2>&1 </dev/null \
      || { echo "/quiet failed on $kind.dvx: $?" >&2; exit 1; }
    runs+=("$(awk -v a="$start" -v b="$(now)" 'BEGIN { print b - a }')")
    [ "$kind" = start ] || cmp -s "$work/root/payload.bin" "$new" ||
      { echo "/quiet wrote other bytes from $kind.dvx" >&2; exit 1; }
  done
  seconds[$kind]=$(median3 "${runs[@]}")
  [ "$kind" = start ] && { printf '%-8s %12d %10.2f\n' start "$(stat -c %s "$work/packages/start.dvx")" \
    "${seconds[start]}"; continue; }
  awk -v k="$kind" -v p="$(stat -c %s "$work/packages/$kind.dvx")" -v s="${seconds[$kind]}" -v b="$bytes" \
    -v z="${seconds[start]}" \
    'BEGIN { printf "%-8s %12d %10.2f %12.0f %10.2f %12.0f\n", k, p, s, b / s / 1e6, s - z, b / (s - z) / 1e6 }'
done
awk -v p="${seconds[patch]}" -v s="${seconds[stored]}" -v z="${seconds[start]}" \
  'BEGIN { printf "patch rate / stored rate: %.2f, net of the start %.2f (goal: at least 0.5; 150 MB/s)\n", s / p, (s - z) / (p - z) }'
