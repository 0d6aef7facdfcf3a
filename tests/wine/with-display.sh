#!/usr/bin/env bash
# Runs a command with a private Xvfb display, a window manager on it (openbox,
# as every Linux desktop that runs Wine has one) and one wineserver for the
# run; all three are ended when the command ends, whatever its result. The
# command's exit status is this script's.
#   tests/wine/with-display.sh ctest --preset windows
# MIRAVEL_SCREEN overrides the screen geometry (default 1280x1024x24).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/wine-env.sh"

xvfb_pid=
wm_pid=
server_started=
fdfile=$(mktemp)
cleanup() {
  if [ -n "$server_started" ]; then
    wineserver -k 2>/dev/null || true   # ends every Wine process of this run
    wineserver -w 2>/dev/null || true
  fi
  if [ -n "$wm_pid" ]; then
    kill "$wm_pid" 2>/dev/null || true
    wait "$wm_pid" 2>/dev/null || true
  fi
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
  rm -f "$fdfile"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Xvfb picks a free display itself and writes its number to fd 3.
Xvfb -displayfd 3 -screen 0 "${MIRAVEL_SCREEN:-1280x1024x24}" -nolisten tcp -noreset \
  3>"$fdfile" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 200); do
  [ -s "$fdfile" ] && break
  kill -0 "$xvfb_pid" 2>/dev/null || break
  sleep 0.05
done
[ -s "$fdfile" ] || { echo "with-display.sh: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$fdfile")"

# The window manager, once it has taken the screen: without one, Wine waits
# about two seconds for an answer each time a window hides.
openbox --sm-disable >/dev/null 2>&1 &
wm_pid=$!
for _ in $(seq 200); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
  kill -0 "$wm_pid" 2>/dev/null || break
  sleep 0.05
done
xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' ||
  { echo "with-display.sh: the window manager did not start" >&2; exit 1; }

miravel_wine_prefix_ready

# One persistent wineserver for the whole run. If another run holds a server
# on this prefix, wait for it to end rather than share its processes.
for attempt in $(seq 120); do
  if wineserver -p 2>/dev/null; then
    server_started=1
    break
  fi
  [ "$attempt" -eq 1 ] && echo "with-display.sh: waiting for another wineserver on $WINEPREFIX" >&2
  wineserver -w 2>/dev/null || sleep 1
done
[ -n "$server_started" ] || { echo "with-display.sh: could not start a wineserver" >&2; exit 1; }
miravel_wine_warm_up

status=0
"$@" || status=$?
exit "$status"
