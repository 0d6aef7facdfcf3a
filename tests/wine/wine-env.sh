# Sourced by the Wine helpers: the project's private Wine prefix and settings.
# Never touches the user's ~/.wine.
_miravel_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
export WINEPREFIX="${MIRAVEL_WINEPREFIX:-$_miravel_root/build/wine/prefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export WINEARCH=win64

# Creates the prefix once (wineboot -i), under a lock so parallel tests wait.
miravel_wine_prefix_ready() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.miravel-ready" ]; then
      wineboot -i >/dev/null 2>&1 || true
      wineserver -w
      touch "$WINEPREFIX/.miravel-ready"
    fi
  ) 9>"$(dirname "$WINEPREFIX")/.prefix.lock"
}
