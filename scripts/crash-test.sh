#!/usr/bin/env bash
# Crash test: kills the Windows program (kill -9 of its Wine process) at
# random moments of a large update, and checks after every kill that each
# target is wholly old or wholly new: never truncated, mixed or missing. Half
# of the kills come while the targets are being replaced, each time from the
# old versions (the files that earlier kills left behind stay). Then
# runs the same update to the end and checks that the install root holds
# exactly the new files and no staging or backup file.
#
#   crash-test.sh PROGRAM.exe START-UPDATE.exe DVK.exe [KILLS]
# Needs an X display for the dialogs (run it through with-xvfb.sh).
set -euo pipefail
program=$1 start_update=$2 dvk=$3 kills=${4:-20}
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"

work=$(mktemp -d /tmp/dvk-crash.XXXXXX)
# A copy of the program of its own, so that only the updaters this test
# started are ever killed: Wine shows their command line as the Windows path.
mkdir -p "$work/bin"
cp "$program" "$work/bin/dravlek-update.exe"
program="$work/bin/dravlek-update.exe"
program_pattern="^[A-Za-z]:.*$(basename "$work")[/\\\\]bin[/\\\\]dravlek-update[.]exe"
cleanup() {
  pkill -9 -f "$program_pattern" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/new/bin" "$work/new/data" "$work/old/bin" "$work/old/data" "$work/run"
log="$work/wine.log"

# The update: 120 files, 10 of them 1.5 MiB, some new to the installation.
for i in $(seq 1 120); do
  dir=data; [ $((i % 3)) -eq 0 ] && dir=bin
  size=$(( (i % 7 + 1) * 8192 + i )); [ $((i % 12)) -eq 0 ] && size=$((3 * 1024 * 1024 / 2 + i))
  head -c "$size" /dev/urandom >"$work/new/$dir/file$i.dat"
  if [ $((i % 10)) -ne 0 ]; then   # every tenth file is not installed yet
    head -c $((size / 2 + 100)) /dev/urandom >"$work/old/$dir/file$i.dat"
  fi
done
wine "$dvk" pack "$(winepath -w "$work/run/update.dvk")" --title "Crash test" \
  --key 'Software\DravlekCrashTest' "$(winepath -w "$work/new")" >"$log" 2>&1 </dev/null \
  || { cat "$log"; echo "crash-test: cannot pack the update"; exit 1; }

( cd "$work/old" && find . -type f | sort | xargs sha256sum ) >"$work/old.sums"
( cd "$work/new" && find . -type f | sort | xargs sha256sum ) >"$work/new.sums"

install_root="$work/install"
cp -r "$work/old" "$install_root"
wine reg add 'HKLM\Software\DravlekCrashTest' /v Path /t REG_SZ /d "$(winepath -w "$install_root")" /f \
  >"$log" 2>&1 </dev/null

run_dir=$(winepath -w "$work/run")
program_w=$(winepath -w "$program")

# Every target must hash as its old or its new version; one that did not
# exist before may also still be missing.
check_targets() {
  local bad=0 name new_sum old_sum now
  while read -r new_sum name; do
    old_sum=$(awk -v n="$name" '$2 == n { print $1 }' "$work/old.sums")
    if [ -f "$install_root/$name" ]; then
      now=$(sha256sum "$install_root/$name" | cut -d' ' -f1)
      if [ "$now" != "$new_sum" ] && [ "$now" != "$old_sum" ]; then
        echo "  $name is neither old nor new ($(stat -c %s "$install_root/$name") bytes)"; bad=1
      fi
    elif [ -n "$old_sum" ]; then
      echo "  $name is missing"; bad=1
    fi
  done <"$work/new.sums"
  return $bad
}

count_new() { ( cd "$install_root" && sha256sum -c "$work/new.sums" 2>/dev/null | grep -c ': OK$' ) || true; }

# How long an update takes here, measured on a copy, so that half of the
# kills can be spread over it; the other half are aimed at the replacement of
# the targets at its end.
cp -r "$install_root" "$work/install-copy"
wine reg add 'HKLM\Software\DravlekCrashTest' /v Path /t REG_SZ /d "$(winepath -w "$work/install-copy")" /f \
  >"$log" 2>&1 </dev/null
wine "$start_update" --finish "$program_w" "$run_dir" >"$work/timing.txt" 2>"$log" </dev/null \
  || { cat "$log"; echo "crash-test: the timing run failed"; exit 1; }
duration_ms=$(tail -n 1 "$work/timing.txt" | tr -d '\r')
rm -rf "$work/install-copy"
wine reg add 'HKLM\Software\DravlekCrashTest' /v Path /t REG_SZ /d "$(winepath -w "$install_root")" /f \
  >"$log" 2>&1 </dev/null
echo "crash-test: a whole update takes about ${duration_ms} ms here"

# Whether this run has started replacing targets, or has staged every file
# and is about to: files of this run are newer than the marker.
commit_reached() {
  local staged replaced
  staged=$(find "$install_root" -name '*.~dvk*.new' -newer "$work/marker" 2>/dev/null | wc -l)
  replaced=$(find "$install_root" -type f ! -name '*.~dvk*' -newer "$work/marker" 2>/dev/null | head -n 1)
  [ "$staged" -ge 120 ] || [ -n "$replaced" ]
}

# Puts the old versions back (and removes files new to the installation),
# keeping whatever staging and backup files the kills left: a kill during the
# replacement then always meets targets still to be changed.
restore_old_targets() {
  local sum name
  while read -r sum name; do
    if [ -f "$work/old/$name" ]; then cp "$work/old/$name" "$install_root/$name"; else rm -f "$install_root/$name"; fi
  done <"$work/new.sums"
}

failures=0
for k in $(seq 1 "$kills"); do
  [ $((k % 2)) -eq 1 ] && restore_old_targets
  touch "$work/marker"; sleep 0.01
  wine "$start_update" "$program_w" "$run_dir" >"$log" 2>&1 </dev/null \
    || { cat "$log"; echo "crash-test: could not start an update"; exit 1; }
  if [ $((k % 2)) -eq 0 ]; then
    # Anywhere in the update, staging included.
    delay_ms=$(( RANDOM * duration_ms / 32768 ))
    when="after ${delay_ms} ms"
    sleep "$(printf '%d.%03d' $((delay_ms / 1000)) $((delay_ms % 1000)))"
  else
    # While the targets are being replaced: the moment that matters most.
    until commit_reached || ! pgrep -f "$program_pattern" >/dev/null; do sleep 0.005; done
    delay_ms=$(( RANDOM % 100 ))
    when="${delay_ms} ms into the replacement of the targets"
    sleep "$(printf '0.%03d' "$delay_ms")"
  fi
  pids=$(pgrep -f "$program_pattern" || true)
  [ -n "$pids" ] && kill -9 $pids 2>/dev/null || true
  while pgrep -f "$program_pattern" >/dev/null; do sleep 0.05; done
  leftovers=$(find "$install_root" -name '*.~dvk*' | wc -l)
  if check_targets; then
    echo "kill $k $when: every target whole ($(count_new) of 120 new, $leftovers staging/backup files left)"
  else
    echo "kill $k $when: FAILED"; failures=$((failures + 1))
  fi
done

echo "crash-test: the same update, run to the end"
wine "$start_update" --finish "$program_w" "$run_dir" >"$work/last.txt" 2>"$log" </dev/null \
  || { cat "$log"; echo "crash-test: the final run failed"; exit 1; }
last=$(head -n 1 "$work/last.txt")
( cd "$install_root" && sha256sum --quiet -c "$work/new.sums" ) || { echo "crash-test: the final tree differs"; failures=$((failures + 1)); }
extra=$(cd "$install_root" && find . -type f | sort | diff - <(cut -c67- "$work/new.sums" | sort) || true)
if [ -n "$extra" ]; then echo "crash-test: unexpected files:"; echo "$extra"; failures=$((failures + 1)); fi
expected_last=$(printf 'Mise \xe0 jour termin\xe9e. Cliquez sur Fermer.')
if [ "$(printf '%s' "$last" | tr -d '\r')" != "$expected_last" ]; then
  echo "crash-test: last status line was: $last"; failures=$((failures + 1))
fi

wine reg delete 'HKLM\Software\DravlekCrashTest' /f >"$log" 2>&1 </dev/null || true
if [ "$failures" -ne 0 ]; then echo "crash-test: $failures failure(s)"; exit 1; fi
echo "crash-test: $kills kills, every target always wholly old or new; final tree exact, nothing left behind"
