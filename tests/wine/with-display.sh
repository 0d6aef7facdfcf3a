#!/usr/bin/env bash
# Runs a command with a private Xvfb display and one wineserver for the run;
# both are ended when the command ends, whatever its result.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/wine-env.sh"

fdfile=$(mktemp)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fdfile" 2>/dev/null &
xvfb_pid=$!
cleanup() {
  wineserver -k 2>/dev/null || true
  kill "$xvfb_pid" 2>/dev/null || true
  wait "$xvfb_pid" 2>/dev/null || true
  rm -f "$fdfile"
}
trap cleanup EXIT
for _ in $(seq 100); do
  [ -s "$fdfile" ] && break
  sleep 0.1
done
[ -s "$fdfile" ] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$fdfile")"

miravel_wine_prefix_ready
wineserver -p
"$@"
