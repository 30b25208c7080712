#!/usr/bin/env bash
# End-to-end figures of the Windows program under Wine, beside the engine
# alone and a plain copy of the same bytes:
#  - apply of packages of 16, 64 and 256 MiB through the real program: wall
#    time, status lines per second and milliseconds per status line;
#  - the largest package again, signed (native dvk) for a product that trusts
#    the key: what checking the signature adds;
#  - the cost of one status line's hand-over, split by kind of window;
#  - listing 1000 packages: from the program's start to its dialog shown;
#  - /quiet on the same packages beside "wine cmd /c copy" of the package file.
# Run after building both presets:  bash tests/bench/wine-bench.sh [SIZES_MIB...]
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$repo/scripts/wine-env.sh"
sizes=("${@:-16 64 256}")
read -r -a sizes <<<"${sizes[*]}"
win32="$repo/build/win32" native="$repo/build/native"
program_w=$(winepath -w "$win32/ui/dravlek-update.exe")
work=$(mktemp -d /tmp/dvk-bench.XXXXXX)
trap 'rm -rf "$work"; wine reg delete "HKLM\\Software\\DravlekBench" /f >/dev/null 2>&1 </dev/null || true' EXIT
log="$work/log"

run_display() { "$repo/scripts/with-xvfb.sh" "$@"; }

echo "== apply through the program (Wine), one entry per package"
printf '%8s %10s %10s %12s %12s %14s %14s\n' MiB lines "wall s" "lines/s" "ms/line" "engine MB/s" "copy MB/s"
for mib in "${sizes[@]}"; do
  rm -rf "$work/new" "$work/run" "$work/root"; mkdir -p "$work/new" "$work/run" "$work/root"
  head -c $((mib * 1024 * 1024)) /dev/urandom >"$work/new/payload.bin"
  wine "$win32/tools/dvk/dvk.exe" pack "$(winepath -w "$work/run/bench.dvk")" --title Bench \
    --key 'Software\DravlekBench' "$(winepath -w "$work/new")" >"$log" 2>&1 </dev/null
  wine reg add 'HKLM\Software\DravlekBench' /v Path /t REG_SZ /d "$(winepath -w "$work/root")" /f \
    >"$log" 2>&1 </dev/null
  run_display wine "$win32/tests/crash/start-update.exe" --finish "$program_w" "$(winepath -w "$work/run")" \
    >"$work/out" 2>"$log" </dev/null
  ms=$(tail -n 1 "$work/out" | tr -d '\r')
  lines=$(( mib * 256 + 4 ))   # Test, Extraction, one per block, the last line
  engine=$("$native/tests/bench/apply_bench" --mib "$mib" --entries 1 --dir "$work")
  engine_rate=$(awk '/^apply \(null sink\)/ { print $6 }' <<<"$engine")
  copy_rate=$(awk '/^copy_file/ { print $4 }' <<<"$engine")
  awk -v m="$mib" -v l="$lines" -v ms="$ms" -v e="$engine_rate" -v c="$copy_rate" \
    'BEGIN { printf "%8d %10d %10.2f %12.0f %12.3f %14s %14s\n", m, l, ms / 1000, l / (ms / 1000), ms / l, e, c }'
done

echo
echo "== the last package signed, for a product whose PublicKey trusts the key (Wine)"
"$native/tools/dvk/dvk" keygen "$work/bench.pem" >"$log" 2>&1
"$native/tools/dvk/dvk" sign "$work/run/bench.dvk" --key "$work/bench.pem" >"$log" 2>&1
key_line=$(openssl pkey -pubin -in "$work/bench.pem.pub" -outform DER | base64 -w0)
wine reg add 'HKLM\Software\DravlekBench' /v PublicKey /t REG_SZ /d "$key_line" /f >"$log" 2>&1 </dev/null
rm -rf "$work/root"; mkdir -p "$work/root"
wine reg add 'HKLM\Software\DravlekBench' /v Path /t REG_SZ /d "$(winepath -w "$work/root")" /f \
  >"$log" 2>&1 </dev/null
run_display wine "$win32/tests/crash/start-update.exe" --finish "$program_w" "$(winepath -w "$work/run")" \
  >"$work/out" 2>"$log" </dev/null
signed_ms=$(tail -n 1 "$work/out" | tr -d '\r')
check_start=$(date +%s%N)
wine "$win32/tools/dvk/dvk.exe" verify "$(winepath -w "$work/run/bench.dvk")" >"$log" 2>&1 </dev/null
check_ms=$(( ($(date +%s%N) - check_start) / 1000000 ))
awk -v m="${sizes[-1]}" -v u="$ms" -v s="$signed_ms" -v c="$check_ms" \
  'BEGIN { printf "%d MiB: unsigned %.2f s, signed %.2f s (%+.1f %%); dvk.exe verify alone %.2f s\n", m, u / 1000, s / 1000, 100 * (s / u - 1), c / 1000 }'
grep -q 'signed by' "$log" || { echo "wine-bench: the signed package did not verify" >&2; exit 1; }

echo
echo "== one status line's hand-over, by kind of window (Wine)"
run_display wine "$win32/tests/bench/handover-bench.exe" 2000 >"$work/handover" 2>"$log" </dev/null
grep 'per line' "$work/handover"

echo
echo "== listing 1000 packages (Wine): from the start to the dialog shown with every row"
rm -rf "$work/many"; mkdir -p "$work/many/src"
echo "x" >"$work/many/src/file.txt"
wine "$win32/tools/dvk/dvk.exe" pack "$(winepath -w "$work/many/p0000.dvk")" --title "Package 0" \
  --key 'Software\DravlekBench' "$(winepath -w "$work/many/src")" >"$log" 2>&1 </dev/null
for i in $(seq 1 999); do cp "$work/many/p0000.dvk" "$work/many/p$(printf %04d "$i").dvk"; done
rm -rf "$work/many/src"
for round in 1 2 3; do
  run_display wine "$win32/tests/crash/start-update.exe" --listing "$program_w" "$(winepath -w "$work/many")" \
    >"$work/listing" 2>"$log" </dev/null
  echo "round $round: $(head -n 1 "$work/listing" | tr -d '\r') ms, $(tail -n 1 "$work/listing" | tr -d '\r') rows"
done

echo
echo "== /quiet beside a copy of the same file (Wine, no display; median of 3, process start included)"
printf '%8s %10s %10s %12s %12s\n' MiB "quiet s" "copy s" "quiet MB/s" "quiet/copy"
now() { date +%s.%N; }
median3() { printf '%s\n' "$@" | sort -g | sed -n 2p; }
for mib in "${sizes[@]}"; do
  rm -rf "$work/new" "$work/run" "$work/root"; mkdir -p "$work/new" "$work/run" "$work/root"
  head -c $((mib * 1024 * 1024)) /dev/urandom >"$work/new/payload.bin"
  wine "$win32/tools/dvk/dvk.exe" pack "$(winepath -w "$work/run/bench.dvk")" --title Bench \
    --key 'Software\DravlekBench' "$(winepath -w "$work/new")" >"$log" 2>&1 </dev/null
  wine reg add 'HKLM\Software\DravlekBench' /v Path /t REG_SZ /d "$(winepath -w "$work/root")" /f \
    >"$log" 2>&1 </dev/null
  package_w=$(winepath -w "$work/run/bench.dvk") copy_w=$(winepath -w "$work/copy.bin")
  quiet=() copy=()
  for _ in 1 2 3; do
    rm -f "$work/root/payload.bin" "$work/copy.bin"
    start=$(now)
    DISPLAY= wine "$win32/ui/dravlek-update.exe" /quiet "$package_w" >"$log" 2>&1 </dev/null \
      || { echo "/quiet failed: $?" >&2; exit 1; }
    quiet+=("$(awk -v a="$start" -v b="$(now)" 'BEGIN { print b - a }')")
    cmp -s "$work/root/payload.bin" "$work/new/payload.bin" || { echo "/quiet wrote other bytes" >&2; exit 1; }
    start=$(now)
    DISPLAY= wine cmd /c copy /y "$package_w" "$copy_w" >"$log" 2>&1 </dev/null
    copy+=("$(awk -v a="$start" -v b="$(now)" 'BEGIN { print b - a }')")
  done
  q=$(median3 "${quiet[@]}") c=$(median3 "${copy[@]}")
  awk -v m="$mib" -v q="$q" -v c="$c" \
    'BEGIN { printf "%8d %10.2f %10.2f %12.0f %12.2f\n", m, q, c, m * 1048576 / q / 1e6, c / q }'
done

