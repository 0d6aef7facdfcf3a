#!/usr/bin/env bash
# Installs what is missing, builds MIRAVEL.exe and starts it under Wine in the
# launcher's own prefix (.run/prefix, never ~/.wine). On the first run the
# prefix is given the bundled sample photo and a frame colour, so a framed
# photo shows at once (right-click the frame to change them). With no display,
# Xvfb is started, a screenshot is taken after the splash and saved as a PNG,
# and the program is ended.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

scripts/install-deps.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target MIRAVEL

export MIRAVEL_WINEPREFIX="$root/.run/prefix"
source tests/wine/wine-env.sh
exe="$root/build/windows/MIRAVEL.exe"
sample="$root/res/sample/sample.jpg"
frame_colour=2642040   # COLORREF 0x00285078: RGB(120, 80, 40), a walnut brown

preset_settings() {
  # Once per prefix: the settings the program reads at start-up.
  [ -f "$WINEPREFIX/.miravel-settings" ] && return 0
  local key='HKCU\Software\Quillfern\MIRAVEL\SETTING'
  wine reg add "$key" /v CURRENTFILE /t REG_SZ /d "$(winepath -w "$sample")" /f >/dev/null 2>&1
  wine reg add "$key" /v FRAMECOLOR /t REG_SZ /d "$frame_colour" /f >/dev/null 2>&1
  touch "$WINEPREFIX/.miravel-settings"
  echo "First run: the frame starts with res/sample/sample.jpg in a walnut-brown frame."
}

start_program() {
  miravel_wine_prefix_ready
  preset_settings
  wine "$exe" &
  program_pid=$!
}

# Ids of the program's mapped top-level X windows larger than 1 x 1.
program_windows() {
  xwininfo -root -children 2>/dev/null |
    awk '/"miravel.exe"/ && $0 !~ / 1x1\+/ && $0 !~ /Default IME/ { print $1 }'
}

if [ -n "${DISPLAY:-}" ]; then
  start_program
  echo "MIRAVEL is running on $DISPLAY (right-click the frame for its menu)."
  wait "$program_pid" || true
  exit 0
fi

# No display: a private Xvfb, a screenshot after the splash, then the end.
mkdir -p "$root/.run"
fdfile=$(mktemp)
xvfb_pid=
cleanup() {
  wineserver -k 2>/dev/null || true   # ends the program: this prefix is the launcher's own
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -f "$fdfile"
}
trap cleanup EXIT
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$fdfile" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 200); do [ -s "$fdfile" ] && break; sleep 0.05; done
[ -s "$fdfile" ] || { echo "run.sh: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$fdfile")"

start_program
# The splash comes first and ends after three seconds; the frame follows.
splash=
for _ in $(seq 600); do
  splash=$(program_windows | head -n1)
  [ -n "$splash" ] && break
  sleep 0.1
done
if [ -n "$splash" ]; then
  for _ in $(seq 300); do
    grep -qx "$splash" <<<"$(program_windows)" || break
    sleep 0.1
  done
  for _ in $(seq 300); do
    [ -n "$(program_windows)" ] && break
    sleep 0.1
  done
  sleep 2   # let the frame paint its photo
else
  echo "run.sh: no MIRAVEL window was seen within a minute; taking the screenshot anyway" >&2
fi
shot="$root/.run/miravel-screenshot.png"
import -display "$DISPLAY" -window root "$shot"
echo "No display was set: MIRAVEL ran on a private Xvfb display ($DISPLAY) and has been ended."
echo "Screenshot after the splash: $shot"
