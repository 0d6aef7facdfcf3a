#!/usr/bin/env bash
# Makes what a Windows user downloads, in dist/:
#   MIRAVEL-<version>-setup.exe   per-user setup (NSIS), 64-bit program on
#                                 x86-64 Windows, 32-bit one elsewhere
#   MIRAVEL-<version>-win64.zip   portable: MIRAVEL.exe and README.txt
#   MIRAVEL-<version>-win32.zip
# Installs what is missing, builds the x86-64 and i686 programs (Release
# presets `windows` and `windows-i686`, target MIRAVEL) and packs them. The
# version is the CMake project version. The same commit gives the same
# bytes: the files' times are the commit's (or SOURCE_DATE_EPOCH, which a
# tree outside git must set), the zips list their files in a fixed order
# without extra attributes.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

scripts/install-deps.sh

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null) || {
    echo "package.sh: not a git checkout; set SOURCE_DATE_EPOCH to the time the files should carry" >&2
    exit 1
  }
fi
export SOURCE_DATE_EPOCH   # also the PE time stamp strip writes
export TZ=UTC              # zip stores local times
umask 022

for preset in windows windows-i686; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target MIRAVEL
done
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/windows/CMakeCache.txt)
[ -n "$version" ] || { echo "package.sh: no project version in build/windows/CMakeCache.txt" >&2; exit 1; }

stage="$root/build/package/stage"
dist="$root/dist"
rm -rf "$stage"
mkdir -p "$stage" "$dist"

# stage_program ARCH PRESET TOOL_PREFIX DESCRIPTION: the stripped program and
# the text (UTF-8 with a byte-order mark, CRLF) in stage/ARCH/MIRAVEL-<v>-ARCH/.
stage_program() {
  local arch=$1 preset=$2 tools=$3 description=$4
  local folder="$stage/$arch/MIRAVEL-$version-$arch"
  mkdir -p "$folder"
  "$tools-strip" --strip-all -o "$folder/MIRAVEL.exe" "build/$preset/MIRAVEL.exe"
  {
    printf '\xef\xbb\xbf'
    sed -e "s/@VERSION@/$version/g" -e "s/@ARCH@/$description/g" -e 's/$/\r/' installer/README.txt
  } >"$folder/README.txt"
  chmod 644 "$folder/MIRAVEL.exe" "$folder/README.txt"
  touch -d "@$SOURCE_DATE_EPOCH" "$folder/MIRAVEL.exe" "$folder/README.txt"
}
stage_program win64 windows x86_64-w64-mingw32 "64-bit Windows (x86-64)"
stage_program win32 windows-i686 i686-w64-mingw32 "32-bit Windows (x86)"

for arch in win64 win32; do
  zipfile="$dist/MIRAVEL-$version-$arch.zip"
  rm -f "$zipfile"
  # -X: no owner or extended time fields; -D: no folder entries.
  (cd "$stage/$arch" && zip -q -X -D -9 "$zipfile" "MIRAVEL-$version-$arch/MIRAVEL.exe" "MIRAVEL-$version-$arch/README.txt")
done

setup="$dist/MIRAVEL-$version-setup.exe"
rm -f "$setup"
installer/make-setup.sh "$version" \
  "$stage/win64/MIRAVEL-$version-win64/MIRAVEL.exe" \
  "$stage/win32/MIRAVEL-$version-win32/MIRAVEL.exe" \
  "$setup"

echo "Packages of MIRAVEL $version in $dist:"
(cd "$dist" && ls -l "MIRAVEL-$version-setup.exe" "MIRAVEL-$version-win64.zip" "MIRAVEL-$version-win32.zip")
