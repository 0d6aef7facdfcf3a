#!/usr/bin/env python3
"""Regenerates the program's artwork from scratch.

  res/splash.bmp   bitmap 133, the title picture of the splash screen:
                   426 x 230, 8 bits per pixel, 256-colour palette,
                   uncompressed (BI_RGB), rows bottom-up.
  res/MIRAVEL.ico  icon 128: a 32 x 32 and a 16 x 16 image, 16 colours
                   (4 bits per pixel with an AND mask).

The splash is drawn with ImageMagick (`convert`) from our own drawings and
the bundled public-domain sample photo (res/sample/sample.jpg); the pixel
formats are written here byte by byte so they are exactly what the resource
compiler and the splash dialog expect. The icon is pixel art drawn in code.

  tools/art/make_art.py            regenerate both files
  tools/art/make_art.py --check    only verify the formats of the files
"""

import os
import struct
import subprocess
import sys
import tempfile

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
SPLASH = os.path.join(ROOT, "res", "splash.bmp")
ICON = os.path.join(ROOT, "res", "MIRAVEL.ico")
SAMPLE = os.path.join(ROOT, "res", "sample", "sample.jpg")

SPLASH_W, SPLASH_H = 426, 230
FONT_DIR = "/usr/share/fonts/truetype/dejavu"
TITLE_FONT = os.path.join(FONT_DIR, "DejaVuSerif-BoldItalic.ttf")
ITALIC_FONT = os.path.join(FONT_DIR, "DejaVuSerif-Italic.ttf")
TEXT_FONT = os.path.join(FONT_DIR, "DejaVuSans.ttf")
JAPANESE_FONT = "/usr/share/fonts/opentype/ipafont-gothic/ipagp.ttf"

PHOTO_W, PHOTO_H = 108, 72   # picture area of each small photograph


def convert(*args):
    subprocess.run(["convert", *args], check=True)


# ---------------------------------------------------------------- splash --

def draw_sunset(path):
    """A sun going down over the sea, with its reflection."""
    w, h = PHOTO_W, PHOTO_H
    horizon = 44
    convert(
        "-size", f"{w}x{horizon}", "gradient:#3b2a6b-#ff9a3c",
        "-size", f"{w}x{h - horizon}", "gradient:#1e3b66-#0b1830",
        "-append",
        "-fill", "#ffe08a", "-draw", f"circle 70,{horizon - 4} 70,{horizon - 17}",
        "-fill", "#1e3b66", "-draw", f"rectangle 0,{horizon} {w},{h}",
        "-fill", "#ffc45c",
        "-draw", f"rectangle 58,{horizon + 3} 82,{horizon + 4}",
        "-draw", f"rectangle 62,{horizon + 8} 78,{horizon + 9}",
        "-draw", f"rectangle 66,{horizon + 14} 74,{horizon + 15}",
        "-draw", f"rectangle 68,{horizon + 20} 72,{horizon + 21}",
        "-fill", "#2a1b40",
        "-draw", f"polygon 0,{horizon} 14,{horizon - 7} 26,{horizon - 3} 38,{horizon} ",
        path)


def draw_mountains(path):
    """Snow-capped mountains over a green valley."""
    w, h = PHOTO_W, PHOTO_H
    convert(
        "-size", f"{w}x{h}", "gradient:#6fb0e8-#d8ecfa",
        "-fill", "#ffffff", "-draw", "ellipse 80,14 12,4 0,360",
        "-fill", "#ffffff", "-draw", "ellipse 90,11 9,4 0,360",
        "-fill", "#5a6a82", "-draw", "polygon -4,58 30,16 58,50 78,26 112,60 112,72 -4,72",
        "-fill", "#f4f7fb", "-draw", "polygon 30,16 22,26 27,24 32,28 37,23 41,27",
        "-fill", "#f4f7fb", "-draw", "polygon 78,26 71,34 76,32 80,36 84,33",
        "-fill", "#3f7d3a", "-draw", "polygon -4,60 20,52 50,58 80,50 112,58 112,72 -4,72",
        "-fill", "#2f6a2c", "-draw", "polygon -4,66 30,61 64,66 112,62 112,72 -4,72",
        "-fill", "#244f22",
        "-draw", "polygon 12,64 15,52 18,64", "-draw", "polygon 20,65 23,55 26,65",
        "-draw", "polygon 92,62 95,51 98,62",
        path)


def draw_rocket(path):
    """The bundled sample photo (NASA, public domain), cut to size."""
    convert(SAMPLE, "-resize", f"{PHOTO_W}x{PHOTO_H}^", "-gravity", "center",
            "-extent", f"{PHOTO_W}x{PHOTO_H}", "+repage", path)


def mount(photo, out, angle):
    """A white print border and a soft shadow, turned by `angle` degrees."""
    convert(photo, "-bordercolor", "#fbf8f0", "-border", "4",
            "-bordercolor", "#d9d2c0", "-border", "1",
            "-background", "none", "-rotate", str(angle),
            "(", "+clone", "-background", "#000000", "-shadow", "60x2+2+3", ")",
            "+swap", "-background", "none", "-layers", "merge", "+repage", out)


def render_splash(tmp):
    photos = []
    for name, draw, angle in (("rocket", draw_rocket, -6),
                              ("sunset", draw_sunset, 4),
                              ("mountains", draw_mountains, -3)):
        raw = os.path.join(tmp, name + ".png")
        framed = os.path.join(tmp, name + "-framed.png")
        draw(raw)
        mount(raw, framed, angle)
        photos.append(framed)

    canvas = os.path.join(tmp, "splash.png")
    gold = "#e9c46a"
    cream = "#f3ead6"
    convert(
        "-size", f"{SPLASH_W}x{SPLASH_H}", "gradient:#3a2618-#160d08",
        # A thin gilt rule inside the edge, like a frame's slip.
        "-fill", "none", "-stroke", "#8a6a35", "-strokewidth", "1",
        "-draw", f"rectangle 4,4 {SPLASH_W - 5},{SPLASH_H - 5}",
        "-stroke", "none",
        # The name in large script lettering, with a shadow and a swash.
        "-font", TITLE_FONT, "-pointsize", "56",
        "-fill", "#0c0604", "-annotate", "+25+66", "MIRAVEL",
        "-fill", gold, "-annotate", "+22+63", "MIRAVEL",
        "-fill", "none", "-stroke", gold, "-strokewidth", "2",
        "-draw", "path 'M 26,76 C 110,90 220,62 300,74 S 380,70 400,60'",
        "-stroke", "none",
        # The version line.
        "-font", ITALIC_FONT, "-pointsize", "13", "-fill", cream,
        "-annotate", "+318+92", "Version 1.0",
        "-font", JAPANESE_FONT, "-pointsize", "12", "-fill", "#cdb98f",
        "-annotate", "+330+38", "デスクトップの",
        "-annotate", "+330+54", "写真たて",
        # Three small photographs.
        photos[0], "-geometry", "+22+98", "-composite",
        photos[1], "-geometry", "+152+94", "-composite",
        photos[2], "-geometry", "+282+99", "-composite",
        # The two-line notice at the foot.
        "-fill", "#8a6a35", "-draw", f"rectangle 22,196 {SPLASH_W - 23},196",
        "-font", TEXT_FONT, "-pointsize", "10", "-fill", cream,
        "-annotate", "+22+210", "Copyright (C) 2026 Quillfern. All rights reserved.",
        "-fill", "#cdb98f",
        "-annotate", "+22+223", "MIRAVEL keeps one photograph on your desktop, in a frame of your colour.",
        canvas)
    return canvas


def read_ppm(path):
    with open(path, "rb") as f:
        data = f.read()
    # P6 header: magic, width, height, maxval, each followed by whitespace.
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        start = pos
        while not data[pos:pos + 1].isspace():
            pos += 1
        fields.append(data[start:pos])
    pos += 1
    if fields[0] != b"P6" or int(fields[3]) != 255:
        raise ValueError("unexpected PPM from convert")
    w, h = int(fields[1]), int(fields[2])
    return w, h, data[pos:pos + w * h * 3]


def write_bmp8(path, w, h, rgb):
    """Writes an 8-bit palettised, uncompressed, bottom-up BMP."""
    palette, index = [], {}
    pixels = bytearray(w * h)
    for i in range(w * h):
        colour = rgb[3 * i:3 * i + 3]
        k = index.get(colour)
        if k is None:
            k = index[colour] = len(palette)
            palette.append(colour)
        pixels[i] = k
    if len(palette) > 256:
        raise ValueError(f"{len(palette)} colours after quantisation")
    palette += [b"\0\0\0"] * (256 - len(palette))
    stride = (w + 3) & ~3
    rows = b"".join(bytes(pixels[y * w:(y + 1) * w]) + b"\0" * (stride - w)
                    for y in reversed(range(h)))
    colour_table = b"".join(bytes((c[2], c[1], c[0], 0)) for c in palette)
    off_bits = 14 + 40 + len(colour_table)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 8, 0, len(rows), 2835, 2835, 256, 0)
    head = struct.pack("<2sIHHI", b"BM", off_bits + len(rows), 0, 0, off_bits)
    with open(path, "wb") as f:
        f.write(head + info + colour_table + rows)


def make_splash():
    with tempfile.TemporaryDirectory() as tmp:
        canvas = render_splash(tmp)
        ppm = os.path.join(tmp, "splash.ppm")
        convert(canvas, "-background", "#000000", "-flatten", "-alpha", "off",
                "-dither", "FloydSteinberg", "-colors", "256", "-depth", "8", "ppm:" + ppm)
        w, h, rgb = read_ppm(ppm)
        if (w, h) != (SPLASH_W, SPLASH_H):
            raise ValueError(f"splash rendered at {w}x{h}")
        write_bmp8(SPLASH, w, h, rgb)


# ------------------------------------------------------------------ icon --

# The 16 colours of the standard Windows palette, in their usual order.
VGA = [(0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
       (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
       (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
       (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF)]
BLACK, MAROON, GREEN, OLIVE, NAVY, TEAL, SILVER, GREY = 0, 1, 2, 3, 4, 6, 7, 8
YELLOW, CYAN, WHITE, LIME = 11, 14, 15, 10
TRANSPARENT = None


def icon_pixels(s):
    """A picture frame holding a landscape: an olive moulding lit from the top
    left, a dark inner lip, a cyan sky with a yellow sun over green hills.
    `s` is 32 or 16."""
    fw = s // 8                      # moulding width, outline included
    px = [[TRANSPARENT] * s for _ in range(s)]
    inner = s - 2 * (fw + 2)         # side of the picture inside the lip
    for y in range(1, s - 1):        # a transparent outline keeps the icon crisp
        for x in range(1, s - 1):
            d = min(x - 1, y - 1, s - 2 - x, s - 2 - y)   # ring, 0 = outermost
            lit = x + y < s - 1                            # upper-left half
            if d == 0:
                px[y][x] = BLACK
            elif d < fw:
                px[y][x] = (YELLOW if lit else MAROON) if d == 1 and fw > 2 else OLIVE
                if fw == 2:
                    px[y][x] = YELLOW if lit else OLIVE
            elif d == fw:
                px[y][x] = MAROON
            else:
                u = (x - fw - 2 + 0.5) / inner
                v = (y - fw - 2 + 0.5) / inner
                far_hill = 0.58 + 0.9 * (u - 0.2) ** 2
                near_hill = 0.74 + 0.6 * (u - 0.85) ** 2
                sun_r = 0.15 if s >= 32 else 0.2
                if v >= near_hill:
                    px[y][x] = GREEN
                elif v >= far_hill:
                    px[y][x] = LIME
                elif (u - 0.68) ** 2 + (v - 0.3) ** 2 <= sun_r ** 2:
                    px[y][x] = YELLOW
                else:
                    px[y][x] = CYAN
    return px


def icon_image(s):
    px = icon_pixels(s)
    xor_stride = ((s * 4 + 31) // 32) * 4
    and_stride = ((s + 31) // 32) * 4
    xor, mask = bytearray(), bytearray()
    for y in reversed(range(s)):             # bottom-up, like every DIB
        row = bytearray(xor_stride)
        mrow = bytearray(and_stride)
        for x in range(s):
            c = px[y][x]
            if c is None:
                mrow[x // 8] |= 0x80 >> (x % 8)
                c = BLACK                     # transparent: black under a set mask bit
            row[x // 2] |= c << (4 if x % 2 == 0 else 0)
        xor += row
        mask += mrow
    header = struct.pack("<IiiHHIIiiII", 40, s, 2 * s, 1, 4, 0, len(xor) + len(mask), 0, 0, 16, 0)
    palette = b"".join(bytes((b, g, r, 0)) for r, g, b in VGA)
    return header + palette + bytes(xor) + bytes(mask)


def make_icon():
    images = [(32, icon_image(32)), (16, icon_image(16))]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for s, data in images:
        out += struct.pack("<BBBBHHII", s, s, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    out += b"".join(data for _, data in images)
    with open(ICON, "wb") as f:
        f.write(out)


# ----------------------------------------------------------------- check --

def check():
    """Verifies the exact formats; returns a list of problems."""
    problems = []
    with open(SPLASH, "rb") as f:
        b = f.read()
    magic, size, _, _, off = struct.unpack_from("<2sIHHI", b, 0)
    hs, w, h, planes, bpp, comp, img, _, _, used, _ = struct.unpack_from("<IiiHHIIiiII", b, 14)
    stride = (w + 3) & ~3
    expect = {"magic": (magic, b"BM"), "file size": (size, len(b)), "header size": (hs, 40),
              "width": (w, SPLASH_W), "height (positive: bottom-up)": (h, SPLASH_H),
              "planes": (planes, 1), "bits per pixel": (bpp, 8), "compression": (comp, 0),
              "colours used": (used, 256), "pixel offset": (off, 14 + 40 + 256 * 4),
              "image size": (img, stride * SPLASH_H), "total": (len(b), off + stride * SPLASH_H)}
    problems += [f"splash.bmp {k}: {got} (want {want})" for k, (got, want) in expect.items() if got != want]

    with open(ICON, "rb") as f:
        b = f.read()
    reserved, kind, count = struct.unpack_from("<HHH", b, 0)
    if (reserved, kind, count) != (0, 1, 2):
        problems.append(f"MIRAVEL.ico directory: {(reserved, kind, count)} (want (0, 1, 2))")
    sizes = []
    for i in range(min(count, 2)):
        w, h, colours, _, planes, bpp, length, offset = struct.unpack_from("<BBBBHHII", b, 6 + 16 * i)
        hs, dw, dh, dplanes, dbpp, comp = struct.unpack_from("<IiiHHI", b, offset)
        xor = ((w * 4 + 31) // 32) * 4 * h
        mask = ((w + 31) // 32) * 4 * h
        sizes.append(w)
        for k, got, want in (("height", h, w), ("colour count", colours, 16), ("planes", planes, 1),
                             ("bits", bpp, 4), ("DIB width", dw, w), ("DIB height", dh, 2 * w),
                             ("DIB bits", dbpp, 4), ("compression", comp, 0),
                             ("length", length, 40 + 64 + xor + mask),
                             ("inside file", offset + length <= len(b), True)):
            if got != want:
                problems.append(f"MIRAVEL.ico image {i} {k}: {got} (want {want})")
    if sorted(sizes) != [16, 32]:
        problems.append(f"MIRAVEL.ico sizes: {sizes} (want 32 and 16)")
    return problems


def main():
    if "--check" not in sys.argv[1:]:
        make_splash()
        make_icon()
    problems = check()
    for p in problems:
        print(p, file=sys.stderr)
    if problems:
        return 1
    print(f"{os.path.relpath(SPLASH, ROOT)}: {SPLASH_W}x{SPLASH_H}, 8 bpp, 256-colour palette, BI_RGB, bottom-up")
    print(f"{os.path.relpath(ICON, ROOT)}: 32x32 and 16x16, 16 colours (4 bpp with AND mask)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
