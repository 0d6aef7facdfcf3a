# Sourced by the Wine helpers: the project's private Wine prefix and settings.
# Never touches the user's ~/.wine.
_miravel_wine_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
_miravel_root=$(cd "$_miravel_wine_dir/../.." && pwd)
export WINEPREFIX="${MIRAVEL_WINEPREFIX:-$_miravel_root/build/wine/prefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko installer dialogs on a fresh prefix.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export WINEARCH=win64
# Wine turns Unix text (arguments, paths) into UTF-16 through the locale.
case "${LC_ALL:-${LANG:-}}" in
  *UTF-8* | *utf8*) ;;
  *) export LANG=C.UTF-8 ;;
esac

# Creates the prefix once (wineboot -i) and gives it the settings of
# prefix.reg.in, under a lock so that parallel callers wait for one another.
# The settings are imported again whenever prefix.reg.in changes.
miravel_wine_prefix_ready() {
  local stamp_dir reg_hash
  stamp_dir=$(dirname "$WINEPREFIX")
  mkdir -p "$stamp_dir"
  reg_hash=$(sha1sum <"$_miravel_wine_dir/prefix.reg.in" | cut -c1-16)
  [ "$(cat "$WINEPREFIX/.miravel-ready" 2>/dev/null)" = "$reg_hash" ] && return 0
  (
    flock 9
    [ "$(cat "$WINEPREFIX/.miravel-ready" 2>/dev/null)" = "$reg_hash" ] && exit 0
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      echo "Creating the Wine prefix $WINEPREFIX (once)..." >&2
      DISPLAY= wineboot -i >/dev/null 2>&1 || true
    fi
    local reg_file="$stamp_dir/.prefix-settings.reg"
    { printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE <"$_miravel_wine_dir/prefix.reg.in"; } >"$reg_file"
    DISPLAY= wine regedit /S "$(winepath -w "$reg_file")" >/dev/null 2>&1 || {
      echo "Could not import the Wine prefix settings" >&2
      exit 1
    }
    wineserver -w
    echo "$reg_hash" >"$WINEPREFIX/.miravel-ready"
  ) 9>"$stamp_dir/.prefix.lock"
}

# True while a wineserver runs for this prefix (its socket exists).
miravel_wine_server_running() {
  local dev ino
  read -r dev ino < <(stat -L -c '%d %i' "$WINEPREFIX" 2>/dev/null) || return 1
  [ -S "/tmp/.wine-$(id -u)/server-$(printf '%x-%x' "$dev" "$ino")/socket" ]
}

# Brings up the Wine session (services and the desktop process) with no
# inherited output. A program that is itself the first of a session on an X
# display can otherwise stall while the desktop starts, when its output is a
# pipe that is read to the end (CMake's test discovery, ctest).
miravel_wine_warm_up() {
  wine rundll32.exe user32.dll,GetDesktopWindow </dev/null >/dev/null 2>&1 || true
}
