#!/usr/bin/env bash
# Crash test: kills the Windows program (kill -9 of its Wine process) in the
# middle of a large update, each time at a moment it observes in the install
# root (the n-th staged file made, target renamed into place or backup
# removed), half of the kills during the replacement of the targets. After
# every kill the program is started again, as a user would, without choosing
# a package: its start undoes the interrupted update from the journal (and
# says so in a box, which is answered). Then every target of the package must
# be old, all together (or all new when the kill came after the last
# replacement), with nothing else in the install root and nothing left in the
# journal folder. Finally the same update runs to the end: the install root
# must hold exactly the new files.
#
#   crash-test.sh PROGRAM.exe START-UPDATE.exe DVK.exe [KILLS] [FORMAT]
# FORMAT dvx packs the update as a .dvx: half of the files compressed, and
# six files of the old version deleted by the update. FORMAT patch packs it
# as a .dvx made against the old version (dvk pack --from): each installed
# file differs from its new version in one stretch only and is updated by a
# patch, the files not installed yet come whole, and the six files the new
# version lacks are deleted.
# Needs an X display for the dialogs (run it through with-xvfb.sh) and
# inotifywait (inotify-tools).
set -euo pipefail
command -v inotifywait >/dev/null || { echo "crash-test: needs inotifywait (inotify-tools)"; exit 1; }
program=$1 start_update=$2 dvk=$3 kills=${4:-20} format=${5:-dvk}
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"

work=$(mktemp -d /tmp/dvk-crash.XXXXXX)
# A copy of the program of its own, so that only the updaters this test
# started are ever killed: Wine shows their command line as the Windows path
# (up to the first space, so that start-update, whose arguments name the
# program, is never taken for it).
mkdir -p "$work/bin"
cp "$program" "$work/bin/dravlek-update.exe"
program="$work/bin/dravlek-update.exe"
program_pattern="^[A-Za-z]:[^ ]*$(basename "$work")[/\\\\]bin[/\\\\]dravlek-update[.]exe"
cleanup() {
  if [ -n "${watcher:-}" ]; then kill "$watcher" 2>/dev/null || true; fi
  pkill -9 -f "$program_pattern" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/new/bin" "$work/new/data" "$work/old/bin" "$work/old/data" "$work/run" "$work/no-package"
log="$work/wine.log"

# The update: 120 files, 10 of them 1.5 MiB, some new to the installation.
for i in $(seq 1 120); do
  dir=data; [ $((i % 3)) -eq 0 ] && dir=bin
  size=$(( (i % 7 + 1) * 8192 + i )); [ $((i % 12)) -eq 0 ] && size=$((3 * 1024 * 1024 / 2 + i))
  if [ "$format" = dvx ] && [ $((i % 2)) -eq 0 ]; then
    (yes "line of file $i" || true) | head -c "$size" >"$work/new/$dir/file$i.dat"
  else
    head -c "$size" /dev/urandom >"$work/new/$dir/file$i.dat"
  fi
  if [ $((i % 10)) -eq 0 ]; then   # every tenth file is not installed yet
    :
  elif [ "$format" = patch ]; then
    cp "$work/new/$dir/file$i.dat" "$work/old/$dir/file$i.dat"
    head -c $((size / 8 + 1)) /dev/urandom | dd of="$work/old/$dir/file$i.dat" bs=64K iflag=fullblock \
      oflag=seek_bytes seek=$((size / 3)) conv=notrunc status=none
  else
    head -c $((size / 2 + 100)) /dev/urandom >"$work/old/$dir/file$i.dat"
  fi
done
pack_options=()
if [ "$format" != dvk ]; then
  for i in $(seq 1 6); do head -c $((i * 5000)) /dev/urandom >"$work/old/data/obsolete$i.dat"; done
fi
if [ "$format" = dvx ]; then
  pack_options=(--format dvx)
  for i in $(seq 1 6); do pack_options+=(--remove "data\\obsolete$i.dat"); done
elif [ "$format" = patch ]; then
  pack_options=(--format dvx --from "$(winepath -w "$work/old")" --remove-obsolete)
fi
extension=$format; [ "$format" = patch ] && extension=dvx
wine "$dvk" pack "$(winepath -w "$work/run/update.$extension")" --title "Crash test" \
  --key 'Software\DravlekCrashTest' "${pack_options[@]}" "$(winepath -w "$work/new")" >"$log" 2>&1 </dev/null \
  || { cat "$log"; echo "crash-test: cannot pack the update"; exit 1; }
# Every installed file is updated by a patch, none by a whole copy instead.
if [ "$format" = patch ] && ! grep -q "(108 patch, " "$log"; then
  cat "$log"; echo "crash-test: the installed files are not updated by patches"; exit 1
fi

( cd "$work/old" && find . -type f | sort | xargs sha256sum ) >"$work/old.sums"
( cd "$work/new" && find . -type f | sort | xargs sha256sum ) >"$work/new.sums"

install_root="$work/install"
cp -r "$work/old" "$install_root"
wine reg add 'HKLM\Software\DravlekCrashTest' /v Path /t REG_SZ /d "$(winepath -w "$install_root")" /f \
  >"$log" 2>&1 </dev/null

run_dir=$(winepath -w "$work/run")
program_w=$(winepath -w "$program")

no_package_dir=$(winepath -w "$work/no-package")
journal_dir=$(winepath -u "$(wine cmd /c 'echo %ProgramData%' 2>/dev/null </dev/null | tr -d '\r')\Dravlek\Update")

# Which whole tree the install root holds: "old", "new", or "mixed" with the
# differences shown.
tree_state() {
  local now
  now=$(cd "$install_root" && find . -type f | sort | xargs -r sha256sum)
  if [ "$now" = "$(cat "$work/old.sums")" ]; then echo old
  elif [ "$now" = "$(cat "$work/new.sums")" ]; then echo new
  else
    echo mixed
    diff <(echo "$now") "$work/old.sums" | grep '^[<>]' | head -n 8 | sed 's/^/  against the old tree: /' >&2
  fi
}

count_new() { ( cd "$install_root" && sha256sum -c "$work/new.sums" 2>/dev/null | grep -c ': OK$' ) || true; }

# Starts the program without a package to choose; prints the text of the box
# its start showed (empty when there was none).
start_and_recover() {
  wine "$start_update" --recover "$program_w" "$no_package_dir" >"$work/recover.txt" 2>"$log" </dev/null \
    || { cat "$log"; echo "crash-test: the start after a kill failed"; exit 1; }
  head -n 1 "$work/recover.txt" | tr -d '\r'
}

# Whatever another test left in the prefix's journal folder is recovered first.
start_and_recover >/dev/null
if [ -n "$(ls -A "$journal_dir" 2>/dev/null)" ]; then
  echo "crash-test: the journal folder $journal_dir is not empty before the test"; exit 1
fi

# Every target's name, below the install root, for the watcher.
cut -c67- "$work/new.sums" | sed 's|^\./||' >"$work/targets.txt"
declare -A is_target=()
while read -r name; do is_target[$name]=1; done <"$work/targets.txt"

# The watcher: inotifywait reports every file made, renamed into place or
# removed in the install root, from before the update starts. It runs as a
# coprocess; start_watch returns once its watches are in place.
start_watch() {
  coproc WATCH { exec inotifywait -m -r -e create -e moved_to -e delete --format '%e %w%f' "$install_root" 2>&1; }
  watcher=$WATCH_PID
  # A descriptor of our own: bash drops WATCH once the coprocess ends.
  exec {events}<&"${WATCH[0]}"
  local line
  while IFS= read -r line <&"$events"; do
    [ "$line" = "Watches established." ] && return 0
  done
  echo "crash-test: inotifywait could not watch $install_root"; exit 1
}
stop_watch() {
  kill "$watcher" 2>/dev/null || true
  wait "$watcher" 2>/dev/null || true
  exec {events}<&-
}

# Reads the watcher's events and sends kill -9 to the program at the event
# aimed at (kind, then its count n):
#   staged    the n-th staged file made ("*.new"), while the package is read
#   replaced  the n-th target renamed into place, during the replacement
#   removed   the n-th backup ("*.old") removed, once every target is new
# The kill follows the event it waits for, however slowly the machine runs;
# only what the program does between the event and the kill can add to it.
# Fails when the update ends, or the starter fails, without the event.
kill_at() {
  local kind=$1 aim=$2 seen=0 pid= event path name quiet=0 started=
  while :; do
    if IFS=' ' read -r -t 1 event path <&"$events"; then
      quiet=0
    else
      [ $? -gt 128 ] || { echo "crash-test: the watcher stopped"; return 1; }
      # A second without an event: is the update still going?
      quiet=$((quiet + 1))
      if [ -z "$started" ] && ! kill -0 "$starter" 2>/dev/null; then
        wait "$starter" || { echo "crash-test: the update did not start"; return 1; }
        started=1
      fi
      if [ -n "$pid" ] && ! kill -0 "$pid" 2>/dev/null; then
        echo "crash-test: the program ended before the $aim-th $kind file"; return 1
      fi
      [ "$quiet" -lt 300 ] || { echo "crash-test: nothing happened in the install root for 300 s"; return 1; }
      continue
    fi
    # The program made this event, so it runs now: its process is found once.
    [ -n "$pid" ] || pid=$(pgrep -f "$program_pattern" | head -n 1 || true)
    name=${path#"$install_root"/}
    case "$kind:$event" in
      staged:CREATE) [[ $name == *.new ]] || continue ;;
      replaced:MOVED_TO) [ -n "${is_target[$name]+x}" ] || continue ;;
      removed:DELETE) [[ $name == *.old ]] || continue ;;
      *) continue ;;
    esac
    seen=$((seen + 1))
    if [ "$seen" -ge "$aim" ]; then
      [ -n "$pid" ] || { echo "crash-test: the program's process was not found"; return 1; }
      kill -9 "$pid"
      return 0
    fi
  done
}

expected_undone=$(printf 'Une mise \xe0 jour interrompue a \xe9t\xe9 annul\xe9e : les fichiers du produit sont revenus \xe0 leur \xe9tat pr\xe9c\xe9dent.')
failures=0
inside=0
for k in $(seq 1 "$kills"); do
  # Half of the kills come during the replacement of the targets, at its
  # 1st to 90th rename of 120; the others while the package is read (any of
  # its 120 staged files) or once every target is new (any of the first 100
  # of 108 backups removed).
  case $((k % 4)) in
    1|3) kind=replaced aim=$((1 + RANDOM % 90)) ;;
    2) kind=staged aim=$((1 + RANDOM % 120)) ;;
    0) kind=removed aim=$((1 + RANDOM % 100)) ;;
  esac
  start_watch
  wine "$start_update" "$program_w" "$run_dir" >"$log" 2>&1 </dev/null &
  starter=$!
  if ! kill_at "$kind" "$aim"; then cat "$log"; stop_watch; exit 1; fi
  stop_watch
  while pgrep -f "$program_pattern" >/dev/null; do sleep 0.05; done
  # It may have been waiting for a window of the program just killed.
  wait "$starter" 2>/dev/null || true
  new_at_kill=$(count_new)
  [ "$new_at_kill" -gt 0 ] && [ "$new_at_kill" -lt 120 ] && inside=$((inside + 1))

  box=$(start_and_recover)
  state=$(tree_state)
  journals=$(ls -A "$journal_dir" 2>/dev/null | wc -l)
  case "$box" in
    "") said="no box" ;;
    "$expected_undone") said="box: undone" ;;
    *) said="box: $box" ;;
  esac
  verdict=ok
  [ "$state" = mixed ] && verdict="FAILED: the install root is neither the old nor the new tree"
  [ "$journals" -ne 0 ] && verdict="FAILED: $journals file(s) left in the journal folder"
  [ "$state" = new ] && [ -n "$box" ] && verdict="FAILED: a finished update was reported"
  [ "$state" = old ] && [ "$new_at_kill" -gt 0 ] && [ "$box" != "$expected_undone" ] && verdict="FAILED: undone without the box"
  echo "kill $k at $kind file $aim: $new_at_kill of 120 new at the kill; after the restart ($said) every target $state: $verdict"
  [ "$verdict" = ok ] || failures=$((failures + 1))
  # The next kill starts from the old versions again.
  if [ "$state" != old ]; then rm -rf "$install_root"; cp -r "$work/old" "$install_root"; fi
done
if [ "$inside" -lt $((kills / 4)) ]; then
  echo "crash-test: only $inside kills came while some targets were new and others old"; failures=$((failures + 1))
fi

echo "crash-test: the same update, run to the end"
wine "$start_update" --finish "$program_w" "$run_dir" >"$work/last.txt" 2>"$log" </dev/null \
  || { cat "$log"; echo "crash-test: the final run failed"; exit 1; }
last=$(head -n 1 "$work/last.txt")
[ "$(tree_state)" = new ] || { echo "crash-test: the final tree differs"; failures=$((failures + 1)); }
[ -z "$(ls -A "$journal_dir" 2>/dev/null)" ] || { echo "crash-test: a journal was left"; failures=$((failures + 1)); }
expected_last=$(printf 'Mise \xe0 jour termin\xe9e. Cliquez sur Fermer.')
if [ "$(printf '%s' "$last" | tr -d '\r')" != "$expected_last" ]; then
  echo "crash-test: last status line was: $last"; failures=$((failures + 1))
fi

wine reg delete 'HKLM\Software\DravlekCrashTest' /f >"$log" 2>&1 </dev/null || true
if [ "$failures" -ne 0 ]; then echo "crash-test: $failures failure(s)"; exit 1; fi
echo "crash-test: $kills kills ($inside with the targets part old, part new), each undone or finished at the next start; final tree exact, nothing left behind"
