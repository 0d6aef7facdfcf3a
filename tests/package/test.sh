#!/usr/bin/env bash
# The package layer: scripts/package.sh run twice, here and in a copy of the
# tree at another path with builds of its own, and the results compared byte
# for byte; the zips' contents; the version information read back from the
# packed programs and the setup; then the setup under Wine in a fresh prefix
# (tests/package/install.sh). Wine here runs no 32-bit code, so the install
# test uses the same setup script built with the 64-bit stub; the shipped
# 32-bit setup is checked by its bytes and version information.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
cd "$root"

failures=0
fail() { echo "FAILED: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }
started=$SECONDS
step() { printf '\n---- %s (at %ds)\n' "$*" $((SECONDS - started)); }

# Both runs carry the same file times.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then SOURCE_DATE_EPOCH=$(git log -1 --format=%ct); fi
export SOURCE_DATE_EPOCH

step "scripts/package.sh"
scripts/package.sh
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/windows/CMakeCache.txt)
packages=("MIRAVEL-$version-setup.exe" "MIRAVEL-$version-win64.zip" "MIRAVEL-$version-win32.zip")
stage="$root/build/package/stage"
program64="$stage/win64/MIRAVEL-$version-win64/MIRAVEL.exe"
program32="$stage/win32/MIRAVEL-$version-win32/MIRAVEL.exe"

step "A second run in another folder, with builds of its own"
copy="$root/build/package/copy"
rm -rf "$copy"
mkdir -p "$copy"
git ls-files -z --cached --others --exclude-standard |
  tar --null -T - --ignore-failed-read -cf - 2>/dev/null | tar -xf - -C "$copy"
(cd "$copy" && scripts/package.sh >"$root/build/package/copy.log" 2>&1) ||
  { tail -30 "$root/build/package/copy.log" >&2; fail "the second package run"; }
for f in "${packages[@]}"; do
  if cmp -s "dist/$f" "$copy/dist/$f"; then pass "$f: the same bytes"; else fail "$f differs between the two runs"; fi
done
rm -rf "$copy"

step "The zips"
unpacked="$root/build/package/unpacked"
rm -rf "$unpacked"
mkdir -p "$unpacked"
# DOS times have two-second steps; zip rounds odd seconds up.
expected_times="$(date -u -d "@$SOURCE_DATE_EPOCH" +%Y%m%d.%H%M%S) $(date -u -d "@$((SOURCE_DATE_EPOCH + SOURCE_DATE_EPOCH % 2))" +%Y%m%d.%H%M%S)"
while read -r arch program description; do
  zip="dist/MIRAVEL-$version-$arch.zip"
  folder="MIRAVEL-$version-$arch"
  listing=$(unzip -Z1 "$zip" | tr '\n' ' ')
  [ "$listing" = "$folder/MIRAVEL.exe $folder/README.txt " ] && pass "$arch: MIRAVEL.exe and README.txt in $folder/" ||
    fail "$arch: the zip holds $listing"
  unzip -q "$zip" -d "$unpacked/$arch" || fail "$arch: the zip does not unpack"
  cmp -s "$unpacked/$arch/$folder/MIRAVEL.exe" "$program" && pass "$arch: the program is the one the setup carries" ||
    fail "$arch: the zip's MIRAVEL.exe is not the staged program"
  times=$(unzip -Z -T "$zip" | awk '$1 ~ /^-/ { print $7 }' | sort -u)
  [[ $(wc -l <<<"$times") -eq 1 && " $expected_times " == *" $times "* ]] &&
    pass "$arch: every file carries the commit's time ($times)" || fail "$arch: file times $times, not $expected_times"
  readme="$unpacked/$arch/$folder/README.txt"
  if [ "$(head -c3 "$readme" | od -An -tx1 | tr -d ' ')" = efbbbf ] &&
     [ "$(grep -c $'\r$' "$readme")" = "$(wc -l <"$readme")" ] &&
     grep -q "MIRAVEL $version" "$readme" && grep -qF "$description" "$readme" && ! grep -q @ "$readme"; then
    pass "$arch: README.txt in UTF-8 with a byte-order mark and CRLF, naming the version and $description"
  else
    fail "$arch: README.txt is not as Notepad wants it, or lacks the version or $description"
  fi
done <<EOF
win64 $program64 64-bit Windows (x86-64)
win32 $program32 32-bit Windows (x86)
EOF

step "Version information read back from the executables"
# exiftool reads a PE file's VERSIONINFO as Explorer's Properties show it.
version_info() {   # FILE MACHINE DESCRIPTION
  local file=$1 tag expected seen
  while IFS='|' read -r tag expected; do
    seen=$(exiftool -s3 "-$tag" "$file" 2>&1) || true
    [ "$seen" = "$expected" ] || fail "$(basename "$file") ($2): $tag is \"$seen\", not \"$expected\""
  done <<EOF
MachineType|$2
FileVersionNumber|$version.0
ProductVersionNumber|$version.0
FileVersion|$version
ProductVersion|$version
ProductName|MIRAVEL
CompanyName|Quillfern
FileDescription|$3
LegalCopyright|Copyright (C) 2026 Quillfern
EOF
}
before=$failures
version_info "$unpacked/win64/MIRAVEL-$version-win64/MIRAVEL.exe" "AMD AMD64" "MIRAVEL 写真たて"
version_info "$unpacked/win32/MIRAVEL-$version-win32/MIRAVEL.exe" "Intel 386 or later, and compatibles" "MIRAVEL 写真たて"
version_info "dist/MIRAVEL-$version-setup.exe" "Intel 386 or later, and compatibles" "MIRAVEL $version セットアップ"
((failures == before)) && pass "both programs and the setup carry version $version, Quillfern, MIRAVEL"
rm -rf "$unpacked"

step "The setup under Wine in a fresh prefix"
setup64="$root/build/package/MIRAVEL-$version-setup-amd64.exe"
installer/make-setup.sh "$version" "$program64" "$program32" "$setup64" amd64-unicode
cmake --build --preset windows --target package_check
locales="$root/build/package/locale"
mkdir -p "$locales"
localedef -i ja_JP -f UTF-8 "$locales/ja_JP.UTF-8"
localedef -i de_DE -f UTF-8 "$locales/de_DE.UTF-8"
rm -rf "$root/build/package/wine"
# winemenubuilder would turn the shortcut and the associations into desktop
# entries of the Unix user.
MIRAVEL_WINEPREFIX="$root/build/package/wine/prefix" WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" \
  tests/wine/with-display.sh tests/package/install.sh "$version" "$setup64" "$program64" "$program32" \
  "$root/build/windows/package_check.exe" "$locales" || fail "the install test"

step "Done"
if ((failures)); then
  echo "package test: $failures check(s) failed" >&2
  exit 1
fi
echo "package test: all checks passed"
