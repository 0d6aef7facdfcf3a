#!/usr/bin/env bash
# Builds the setup program with NSIS's makensis from two built programs:
#   installer/make-setup.sh VERSION PROGRAM64 PROGRAM32 OUTFILE [STUB]
# STUB is the setup's own architecture: x86-unicode (the default, what
# scripts/package.sh ships: it runs on 32- and 64-bit Windows) or
# amd64-unicode. Every warning fails the build (a text missing in one
# language, say).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
if (($# < 4 || $# > 5)); then
  echo "usage: $0 VERSION PROGRAM64 PROGRAM32 OUTFILE [x86-unicode|amd64-unicode]" >&2
  exit 2
fi
version=$1 program64=$2 program32=$3 outfile=$4 stub=${5:-x86-unicode}
for f in "$program64" "$program32"; do
  [ -f "$f" ] || { echo "make-setup.sh: $f is missing" >&2; exit 1; }
done
absolute() { echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"; }
mkdir -p "$(dirname "$outfile")"
makensis -INPUTCHARSET UTF8 -WX -V2 \
  "-DVERSION=$version" \
  "-DPROGRAM64=$(absolute "$program64")" \
  "-DPROGRAM32=$(absolute "$program32")" \
  "-DOUTFILE=$(absolute "$outfile")" \
  "-DSTUB=$stub" \
  "$here/MIRAVEL.nsi"
