#!/usr/bin/env bash
# Installs what is missing, builds MIRAVEL.exe and starts it under Wine in the
# launcher's own prefix (.run/prefix, never ~/.wine). On the first run the
# prefix is given the bundled sample photo and a frame colour, so a framed
# photo shows at once. With no display, Xvfb is started and a screenshot of
# the framed photo is saved as a PNG.
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

start_program() {
  miravel_wine_prefix_ready
  if [ ! -f "$WINEPREFIX/.miravel-settings" ]; then
    key='HKCU\Software\Quillfern\MIRAVEL\SETTING'
    wine reg add "$key" /v CURRENTFILE /t REG_SZ /d "$(winepath -w "$sample")" /f >/dev/null
    wine reg add "$key" /v FRAMECOLOR /t REG_SZ /d 3355443 /f >/dev/null   # 0x333333, dark grey
    touch "$WINEPREFIX/.miravel-settings"
  fi
  wine "$exe" &
  program_pid=$!
}

if [ -n "${DISPLAY:-}" ]; then
  start_program
  echo "MIRAVEL is running on $DISPLAY (right-click the frame for its menu)."
  wait "$program_pid"
else
  mkdir -p "$root/.run"
  fdfile=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fdfile" 2>/dev/null &
  xvfb_pid=$!
  trap 'wineserver -k 2>/dev/null || true; kill $xvfb_pid 2>/dev/null || true; rm -f "$fdfile"' EXIT
  for _ in $(seq 100); do [ -s "$fdfile" ] && break; sleep 0.1; done
  export DISPLAY=":$(head -n1 "$fdfile")"
  start_program
  sleep 8   # three seconds of splash, then the frame
  shot="$root/.run/miravel-screenshot.png"
  import -display "$DISPLAY" -window root "$shot"
  echo "No display was set: MIRAVEL ran on a private Xvfb display."
  echo "Screenshot of the framed photo: $shot"
fi
