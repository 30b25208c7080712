#!/usr/bin/env bash
# Runs a command with DISPLAY set to a private Xvfb server, started here and
# stopped by its PID afterwards. Passes on the command's exit status.
#   scripts/with-xvfb.sh <command> [args...]
set -u

log=$(mktemp /tmp/xvfb.XXXXXX.log)
xvfb_pid=
stop_xvfb() {
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
  fi
  rm -f "$log"
}
trap stop_xvfb EXIT

# Takes the first display number that no server holds; if another run takes
# the same number first, Xvfb exits and the next number is tried.
display=
for n in $(seq 90 140); do
  [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >"$log" 2>&1 </dev/null &
  xvfb_pid=$!
  for _ in $(seq 1 100); do
    if [ -e "/tmp/.X11-unix/X$n" ]; then display=$n; break; fi
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
  done
  [ -n "$display" ] && break
  kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; xvfb_pid=
done
if [ -z "$display" ]; then
  echo "with-xvfb: could not start Xvfb" >&2; cat "$log" >&2; exit 1
fi

DISPLAY=":$display" "$@"
