#!/usr/bin/env bash
# Installs the Debian packages that building and testing MIRAVEL need.
# Packages already present are left alone; apt runs only when one is missing.
set -euo pipefail

packages=(
  cmake make g++ gcc clang libclang-rt-14-dev
  libgtest-dev googletest libjpeg-dev libjpeg-turbo-progs
  g++-mingw-w64-x86-64 g++-mingw-w64-i686 mingw-w64 binutils-mingw-w64-x86-64
  wine wine64 xvfb xauth x11-utils openbox imagemagick fonts-ipafont-gothic
  mate-backgrounds
  nsis zip unzip libimage-exiftool-perl locales
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
