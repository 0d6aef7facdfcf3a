#!/usr/bin/env bash
# The setup program under Wine, in a fresh prefix, on the display of
# tests/wine/with-display.sh (tests/package/test.sh starts it so):
#   install.sh VERSION SETUP PROGRAM64 PROGRAM32 CHECK LOCALES
# SETUP is the setup built with the 64-bit stub (Wine here runs no 32-bit
# code), PROGRAM64/32 the programs it carries, CHECK package_check.exe,
# LOCALES a folder of compiled ja_JP.UTF-8 and de_DE.UTF-8 locales.
#
# It shows: the setup speaks Japanese on a Japanese system and English on
# another; a silent install writes only its own entries, under HKCU, and
# its files; the entries and the shortcut are right; the installed program
# frames a stored photo, and a setup or uninstaller run over it stops; an
# upgrade replaces the program in place and keeps the sign-in start; the
# silent uninstall through the entry's QuietUninstallString leaves nothing
# but the settings; a second round in a folder of the user's choice
# upgrades there and, asked to, removes the settings too.
set -euo pipefail
(($# == 6)) || { echo "usage: $0 VERSION SETUP PROGRAM64 PROGRAM32 CHECK LOCALES" >&2; exit 2; }
version=$1 setup=$2 program64=$3 program32=$4 check=$5 locales=$6
: "${WINEPREFIX:?run under tests/wine/with-display.sh}"
: "${DISPLAY:?run under tests/wine/with-display.sh}"

user=$(id -un)
profile="$WINEPREFIX/drive_c/users/$user"
default_folder="C:\\users\\$user\\AppData\\Local\\Programs\\MIRAVEL"
default_unix="$profile/AppData/Local/Programs/MIRAVEL"
custom_folder='C:\Photo Frame\MIRAVEL'
custom_unix="$WINEPREFIX/drive_c/Photo Frame/MIRAVEL"
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\MIRAVEL'
snapshots="$(dirname "$WINEPREFIX")/snapshots"
setup_windows=$(winepath -w "$setup")
rm -rf "$snapshots"
mkdir -p "$snapshots"

failures=0
fail() { echo "FAILED: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }
stage() { printf '\n---- %s\n' "$*"; }
check() { wine "$check" "$@"; }

# ------------------------------------------------------------ snapshots --

# snapshot NAME: the user's registry (without Wine's own settings under
# HKCU\Software\Wine), HKLM\Software, and the files of drive C: outside
# C:\windows and the temporary folders, one sorted line for each key, value
# or file.
snapshot() {
  local name=$1 hive
  wine regedit /E "$(winepath -w "$snapshots/$name.hkcu.reg")" HKEY_CURRENT_USER >/dev/null 2>&1
  wine regedit /E "$(winepath -w "$snapshots/$name.hklm.reg")" 'HKEY_LOCAL_MACHINE\Software' >/dev/null 2>&1
  for hive in hkcu hklm; do
    iconv -f UTF-16 -t UTF-8 "$snapshots/$name.$hive.reg" | tr -d '\r' |
      sed -e ':a' -e '/\\$/N; s/\\\n *//; ta' |
      awk '/^\[/ { key = $0; print key; next }
           /^$/ || /^Windows Registry Editor/ || /^REGEDIT/ { next }
           { print key "\t" $0 }' |
      grep -v '^\[HKEY_CURRENT_USER\\Software\\Wine[]\\]' | LC_ALL=C sort >"$snapshots/$name.$hive"
  done
  (cd "$WINEPREFIX/drive_c" && find . -path ./windows -prune -o -path './users/*/Temp' -prune -o -print) |
    LC_ALL=C sort >"$snapshots/$name.files"
}

# added A B PART / removed A B PART: lines of snapshot B not in A, and of A not in B.
added() { LC_ALL=C comm -13 "$snapshots/$1.$3" "$snapshots/$2.$3"; }
removed() { LC_ALL=C comm -23 "$snapshots/$1.$3" "$snapshots/$2.$3"; }

# expect_none WHAT LINES: LINES must be empty.
expect_none() {
  if [ -n "$2" ]; then
    fail "$1:"
    printf '    %s\n' "${2//$'\n'/$'\n'    }" >&2
  else
    pass "$1: none"
  fi
}

# ----------------------------------------------------------- the setup --

# quiet_uninstall [ARGUMENTS]: runs the entry's QuietUninstallString (plus
# ARGUMENTS) and waits for the uninstaller's copy in %TEMP% to end.
quiet_uninstall() {
  local line
  line=$(wine reg query "$uninstall_key" /v QuietUninstallString 2>/dev/null | tr -d '\r' | grep QuietUninstallString) ||
    { fail "no QuietUninstallString"; return; }
  run "${line#*REG_SZ    }${1:+ $1}" || fail "the uninstaller ended with $?"
  check --wait-for-uninstaller || fail "the uninstaller did not end"
}

# run COMMANDLINE: as Windows runs it (so /D=FOLDER with a space stays one
# unquoted switch, as the setup wants it).
run() { check "--run=$1"; }

install_silently() {   # [SWITCHES]: the setup with /S; its exit code must be 0
  local status=0
  run "\"$setup_windows\" /S${1:+ $1}" || status=$?
  [ "$status" -eq 0 ] || fail "setup /S $* ended with $status"
}

installed_checks() {   # FOLDER AUTOSTART
  check "--folder=$1" "--version=$version" "--autostart=$2" --gtest_filter='Installed.*' --gtest_brief=1 ||
    fail "the installed copy in $1 (autostart $2)"
}

stage "The setup's language"
# Japanese on a Japanese system; English on one in another language (German).
while read -r locale title; do
  if [ "$locale" = de_DE.UTF-8 ]; then
    seen=$(LOCPATH=$locales LANG=$locale wine reg query 'HKCU\Control Panel\International' /v LocaleName | tr -d '\r' | awk '/LocaleName/ { print $3 }')
    [ "$seen" = de-DE ] || fail "the German system is not German to Wine ($seen)"
  fi
  LOCPATH=$locales LANG=$locale wine "$setup" &
  setup_pid=$!
  shown=
  # The window list is read whole before it is searched: grep -q ends at its
  # first match, and under pipefail the writer's SIGPIPE made a title that
  # was there count as missing whenever more of the list followed it. The
  # limit only bounds the wait.
  for _ in $(seq 300); do
    windows=$(xwininfo -root -tree 2>/dev/null || true)
    if grep -qF "\"$title" <<<"$windows"; then shown=1; break; fi
    sleep 0.2
  done
  kill "$setup_pid" 2>/dev/null || true
  wait "$setup_pid" 2>/dev/null || true
  if [ -n "$shown" ]; then
    pass "$locale: \"$title\""
  else
    fail "$locale: no window \"$title\"; the named windows were:"
    grep -o '^ *0x[0-9a-f]* "[^"]*"' <<<"$windows" | sed 's/^ */    /' >&2 || true
  fi
done <<EOF
ja_JP.UTF-8 MIRAVEL $version セットアップ
de_DE.UTF-8 MIRAVEL $version Setup
EOF

stage "A silent install into the default folder, with the sign-in start"
check --write-users-own-entries || fail "could not write the user's own entries"
snapshot before
install_silently /AUTOSTART
snapshot installed
for part in hkcu hklm files; do
  expect_none "entries or files the install changed or removed ($part)" "$(removed before installed $part)"
done
expect_none "machine-wide entries the install added" "$(added before installed hklm)"
expect_none "user entries the install added outside its own keys" "$(added before installed hkcu |
  grep -vE '^\[HKEY_CURRENT_USER\\Software\\(Classes\\(\.jpg|\.jpeg|\.jpe|\.jfif|\.bmp|Applications|MIRAVEL\.Photo)|Microsoft\\Windows\\CurrentVersion\\(Uninstall|Run))[]\\]')"
expect_none "files the install added outside its folder and shortcut" "$(added before installed files |
  grep -vxE '\./users/[^/]+/AppData/Local/Programs(/MIRAVEL(/MIRAVEL\.exe|/uninstall\.exe)?)?|\./users/[^/]+/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/MIRAVEL\.lnk')"
cmp -s "$default_unix/MIRAVEL.exe" "$program64" && pass "the 64-bit program was installed" ||
  fail "the installed MIRAVEL.exe is not the 64-bit program"
installed_checks "$default_folder" yes

stage "The installed program with a stored photo; a setup and an uninstaller over it"
# Run once more before it fails, as the Windows test preset does (Wine on a
# loaded Xvfb display sometimes drops a window event).
program_check() { check "--folder=$default_folder" "--setup=$setup_windows" --gtest_filter='InstalledProgram.*' --gtest_brief=1; }
program_check || { echo "(once more)"; program_check; } || fail "the installed program"
snapshot used
# Its start registered the automation class for this user, nowhere else;
# the uninstall below must take that away too.
grep -qF '[HKEY_CURRENT_USER\Software\Classes\CLSID\{0AB83C19-E54D-4D90-BE16-0D55ABF46564}\LocalServer32]' \
  "$snapshots/used.hkcu" && pass "the installed program registered its class for the user" ||
  fail "the installed program wrote no class registration under HKCU\Software\Classes"
expect_none "machine-wide entries the installed program added" "$(added installed used hklm)"

stage "An upgrade over the installed copy (an older MIRAVEL.exe in its place)"
cp "$program32" "$default_unix/MIRAVEL.exe"
install_silently
cmp -s "$default_unix/MIRAVEL.exe" "$program64" && pass "the upgrade replaced MIRAVEL.exe" ||
  fail "the upgrade left the older MIRAVEL.exe"
installed_checks "$default_folder" yes

stage "A silent uninstall through QuietUninstallString"
quiet_uninstall
snapshot uninstalled
expect_none "user entries the uninstall changed or removed that were there before" "$(removed before uninstalled hkcu)"
left=$(added before uninstalled hkcu)
expect_none "user entries left besides the settings" "$(
  grep -vE '^\[HKEY_CURRENT_USER\\Software\\Quillfern(\\MIRAVEL(\\SETTING)?)?\]($|'$'\t''"(CURRENTFILE|FRAMECOLOR)"=)' <<<"$left")"
for setting in CURRENTFILE FRAMECOLOR; do
  grep -q "^\[HKEY_CURRENT_USER\\\\Software\\\\Quillfern\\\\MIRAVEL\\\\SETTING\]"$'\t'"\"$setting\"=" <<<"$left" &&
    pass "the setting $setting was kept" || fail "the setting $setting was not kept"
done
expect_none "machine-wide entries the uninstall changed" "$(diff "$snapshots/used.hklm" "$snapshots/uninstalled.hklm")"
expect_none "files the uninstall left or removed" "$(diff "$snapshots/before.files" "$snapshots/uninstalled.files")"

stage "A second round: a folder of the user's choice, an upgrade there, an uninstall that removes the settings"
install_silently "/D=$custom_folder"
installed_checks "$custom_folder" no
install_silently
[ -e "$default_unix" ] && fail "the upgrade went to the default folder, not the installed copy's"
installed_checks "$custom_folder" no
quiet_uninstall /REMOVESETTINGS
snapshot removed
expect_none "user entries changed since before the first install" "$(diff "$snapshots/before.hkcu" "$snapshots/removed.hkcu")"
[ -e "$custom_unix" ] && fail "the folder $custom_folder is still there"
expect_none "files left besides the parent of the chosen folder" "$(diff "$snapshots/before.files" "$snapshots/removed.files" |
  grep -vxF '> ./Photo Frame' | grep -v '^[0-9]')"

echo
if ((failures)); then
  echo "install test: $failures check(s) failed" >&2
  exit 1
fi
echo "install test: all checks passed"
