#!/usr/bin/env python3
"""Writes a greyscale JPEG wider than any bitmap of the program holds:
   make-wide-photo.py CJPEG WIDTH HEIGHT OUT.jpg
A gradient from black at the left to white at the right, with a darker band
across the middle third of the rows, encoded by libjpeg-turbo's cjpeg."""
import os
import subprocess
import sys
import tempfile

cjpeg, width, height, out = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
row = bytes(x * 255 // (width - 1) for x in range(width))
band = bytes(v // 2 for v in row)
with tempfile.NamedTemporaryFile(suffix=".pgm", delete=False) as pgm:
    pgm.write(b"P5\n%d %d\n255\n" % (width, height))
    for y in range(height):
        pgm.write(band if height // 3 <= y < 2 * height // 3 else row)
try:
    with open(out, "wb") as jpeg:
        subprocess.run([cjpeg, "-grayscale", "-quality", "90", pgm.name], stdout=jpeg, check=True)
finally:
    os.unlink(pgm.name)
