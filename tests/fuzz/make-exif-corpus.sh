#!/usr/bin/env bash
# Regenerates the seeds of fuzz_exif in corpus/exif/. Not run by the tests:
# the seeds are committed (4 KB at most) and this script records how they
# were made. The picture tests also read the exiftool-* seeds: each must give
# the orientation its name says.
#
#   exiftool-{ii,mm}-N.jpg  a small JPEG (cjpeg) given orientation N (1 to 8)
#                           by exiftool, in little- (II) and big-endian (MM)
#                           EXIF
#   exiftool-camera-mm-8.jpg  the same with the tags a camera writes (make,
#                           model, dates, exposure, GPS) and an XMP segment
#   tiff-*.bin              byte 0 not 0xFF (the target's second form, which
#                           hands the bytes to the TIFF reader directly), then
#                           the TIFF body of one of those files' EXIF segment
#
# Needs python3, cjpeg (libjpeg-turbo-progs) and exiftool
# (libimage-exiftool-perl).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
out="$here/corpus/exif"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"
rm -f "$out"/exiftool-*.jpg "$out"/tiff-*.bin

# A 16 x 8 colour gradient, the same bytes every time.
python3 - "$work/base.ppm" <<'PY'
import sys
w, h = 16, 8
pixels = bytes(v for y in range(h) for x in range(w) for v in (x * 16, y * 32, 255 - x * 8))
open(sys.argv[1], "wb").write(b"P6\n%d %d\n255\n" % (w, h) + pixels)
PY
cjpeg -quality 50 -outfile "$work/base.jpg" "$work/base.ppm"

for order in ii mm; do
  for value in 1 2 3 4 5 6 7 8; do
    file="$out/exiftool-$order-$value.jpg"
    cp "$work/base.jpg" "$file"
    exiftool -q -overwrite_original -ExifByteOrder="${order^^}" -Orientation#="$value" "$file"
  done
done
file="$out/exiftool-camera-mm-8.jpg"
cp "$work/base.jpg" "$file"
exiftool -q -overwrite_original -ExifByteOrder=MM -Orientation#=8 -Make=Quillfern -Model=Seed \
  -DateTimeOriginal="2024:05:01 12:00:00" -ExposureTime=0.01 -FNumber=2.8 -ISO=100 \
  -GPSLatitude=35.6 -GPSLatitudeRef=N -GPSLongitude=139.7 -GPSLongitudeRef=E -XMP:Title=seed "$file"

# The TIFF bodies: the bytes after "Exif\0\0" to the end of that APP1 segment.
python3 - "$out" <<'PY'
import sys, os
out = sys.argv[1]
for name in ("exiftool-ii-3.jpg", "exiftool-mm-6.jpg", "exiftool-camera-mm-8.jpg"):
    data = open(os.path.join(out, name), "rb").read()
    at = data.index(b"\xff\xe1")
    length = data[at + 2] << 8 | data[at + 3]
    body = data[at + 4:at + 2 + length]
    assert body.startswith(b"Exif\0\0")
    tiff = body[6:]
    open(os.path.join(out, "tiff-" + name.replace("exiftool-", "").replace(".jpg", ".bin")), "wb").write(b"\x01" + tiff)
PY
ls -l "$out"
