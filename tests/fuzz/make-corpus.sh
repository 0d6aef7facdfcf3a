#!/usr/bin/env bash
# Regenerates the seed corpora from real pictures. Not run by the tests: the
# seeds it writes are committed (kept small, a few KB each), and this script
# records how they were made.
#
#   corpus/jpeg_decoder/   the NASA rocket photo (res/sample/sample.jpg)
#                          re-encoded small with cjpeg: every usual sampling,
#                          restart intervals in MCUs and in rows, optimised
#                          tables, qualities 10 to 100, greyscale, RGB, an ICC
#                          profile segment, a comment; progressive files and
#                          sequential ones in several scans (jpegtran
#                          -progressive, -scans with scripts: spectral
#                          selection, successive approximation to the last
#                          bit, bands refined apart, with restarts); a refused
#                          kind (arithmetic); and crafted files from
#                          make-crafted.py
#   corpus/bmp_check/      the same photo as BMP files of 1, 4, 8, 16, 24 and
#                          32 bits a pixel, with 40-byte and later headers,
#                          and forms ImageMagick does not write (bit masks
#                          after a 40-byte header, 32-bit BI_RGB, top-down)
#                          made from its 24-bit file by make-crafted.py
#   corpus/display_bitmap/ from make-crafted.py
#
# Needs cjpeg and jpegtran (libjpeg-turbo-progs), ImageMagick and python3.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
photo="$root/res/sample/sample.jpg"
jpegs="$here/corpus/jpeg_decoder"
bmps="$here/corpus/bmp_check"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$jpegs" "$bmps"

ppm() {  # ppm WIDTHxHEIGHT -> a PPM of the photo at exactly that size
  convert "$photo" -resize "$1!" "$work/$1.ppm"
  echo "$work/$1.ppm"
}

enc() {  # enc NAME SIZE CJPEG-OPTIONS...
  local name=$1 size=$2
  shift 2
  cjpeg "$@" -outfile "$jpegs/$name.jpg" "$(ppm "$size")"
}

enc s444-48x32 48x32 -sample 1x1
enc s422-48x32 48x32 -sample 2x1
enc s420-40x27 40x27 -sample 2x2            # not a whole number of MCUs
enc s440-32x48 32x48 -sample 1x2
enc s411-64x16 64x16 -sample 4x1
enc s420-17x9 17x9 -sample 2x2
enc s444-1x1 1x1 -sample 1x1
enc s420-restart1mcu 48x32 -sample 2x2 -restart 1B
enc s444-restart-row 40x24 -sample 1x1 -restart 1
enc s422-optimized 48x32 -sample 2x1 -optimize
enc s420-q100 32x32 -sample 2x2 -quality 100
enc s420-q10 64x43 -sample 2x2 -quality 10 -baseline
enc s444-q95-optimized-restart3 48x32 -sample 1x1 -quality 95 -optimize -restart 3B
enc grey-48x32 48x32 -grayscale
enc grey-2x2-sampling 40x24 -grayscale -sample 2x2
enc grey-restart2 32x24 -grayscale -restart 2B
enc rgb-24x16 24x16 -rgb
enc comment 16x16
wrjpgcom -comment "MIRAVEL fuzz seed" "$jpegs/comment.jpg" >"$work/comment.jpg"
mv "$work/comment.jpg" "$jpegs/comment.jpg"
# A colour profile as an APP2 segment (any bytes serve: it is skipped).
head -c 300 "$photo" >"$work/profile.icc"
enc icc-app2 16x16 -icc "$work/profile.icc"
# 16-bit quantisation tables: cjpeg marks the frame SOF1; the crafted
# script also writes a copy with SOF0 so that the tables are decoded.
enc q1-16bit-tables-sof1 24x16 -quality 1
enc progressive 32x24 -progressive
enc arithmetic 32x24 -arithmetic

# Progressive and multi-scan seeds: the same coefficients in other scans,
# as jpegtran transcodes them (-progressive, -scans SCRIPT, -restart).
scans() {  # scans NAME BASE SCRIPT JPEGTRAN-OPTIONS... (SCRIPT "-": -progressive)
  local name=$1 base=$2 script=$3
  shift 3
  if [ "$script" = - ]; then
    jpegtran -progressive "$@" -outfile "$jpegs/$name.jpg" "$base"
  else
    printf '%s\n' "$script" >"$work/$name.txt"
    jpegtran -scans "$work/$name.txt" "$@" -outfile "$jpegs/$name.jpg" "$base"
  fi
}
cjpeg -sample 2x2 -optimize -outfile "$work/s420.jpg" "$(ppm 48x32)"
cjpeg -sample 1x1 -optimize -outfile "$work/s444.jpg" "$(ppm 40x24)"
cjpeg -grayscale -optimize -outfile "$work/grey.jpg" "$(ppm 40x24)"
scans progressive-420-restart1 "$work/s420.jpg" - -restart 1B
scans progressive-444-restart3 "$work/s444.jpg" - -restart 3B
scans progressive-grey-restart2 "$work/grey.jpg" - -restart 2B
scans progressive-spectral-only "$work/s420.jpg" \
  "0,1,2: 0-0, 0, 0; 0: 1-5, 0, 0; 2: 1-63, 0, 0; 1: 1-63, 0, 0; 0: 6-63, 0, 0;"
scans progressive-deep-approximation-restart2 "$work/s420.jpg" \
  "0,1,2: 0-0, 0, 2; 0: 1-63, 0, 4; 1: 1-63, 0, 3; 2: 1-63, 0, 3; 0,1,2: 0-0, 2, 1;
   0: 1-63, 4, 3; 0: 1-63, 3, 2; 1: 1-63, 3, 2; 2: 1-63, 3, 2; 0,1,2: 0-0, 1, 0;
   0: 1-63, 2, 1; 1: 1-63, 2, 1; 2: 1-63, 2, 1; 0: 1-63, 1, 0; 2: 1-63, 1, 0; 1: 1-63, 1, 0;" \
  -restart 2B
scans progressive-bands-apart-dc-alone "$work/s444.jpg" \
  "1: 0-0, 0, 1; 0: 0-0, 0, 1; 2: 0-0, 0, 1; 0: 1-9, 0, 2; 0: 10-63, 0, 2; 2: 1-63, 0, 1;
   1: 1-63, 0, 1; 0: 10-63, 2, 1; 0: 1-9, 2, 1; 0,1,2: 0-0, 1, 0; 0: 1-63, 1, 0;
   1: 1-63, 1, 0; 2: 1-63, 1, 0;" -restart 5B
scans multiscan-one-component-a-scan "$work/s420.jpg" "2: 0-63, 0, 0; 0: 0-63, 0, 0; 1: 0-63, 0, 0;"
scans multiscan-y-cb-then-cr-restart3 "$work/s420.jpg" "0,1: 0-63, 0, 0; 2: 0-63, 0, 0;" -restart 3B

python3 "$here/make-crafted.py" "$here/corpus" "$jpegs/q1-16bit-tables-sof1.jpg"

bmp() {  # bmp NAME SIZE CONVERT-OPTIONS... (output format last)
  local name=$1 size=$2
  shift 2
  convert "$photo" -resize "$size!" "${@:1:$#-1}" "${@: -1}:$bmps/$name.bmp"
}
bmp bits1-13x9 13x9 -strip -type bilevel BMP3
bmp bits4-13x9 13x9 -strip -colors 16 -type palette -compress none BMP3
bmp bits8-13x9 13x9 -strip -colors 100 -type palette -compress none BMP3
bmp bits8-rle8-13x9 13x9 -strip -colors 100 -type palette BMP3   # refused: RLE8
bmp bits24-13x9 13x9 -strip -type truecolor BMP3
bmp bits24-v5-profile-11x5 11x5 -type truecolor BMP              # embedded colour profile
bmp bits16-rgb565-profile-7x5 7x5 -define bmp:subtype=RGB565 BMP
bmp bits16-argb1555-7x5 7x5 -strip -alpha set -define bmp:subtype=ARGB1555 BMP
bmp bits32-argb-7x5 7x5 -strip -alpha set -define bmp:subtype=ARGB8888 BMP

python3 "$here/make-crafted.py" --bmp "$bmps/bits24-13x9.bmp" "$bmps"
