#!/usr/bin/env python3
"""Writes the crafted seeds of the fuzz corpora (see make-corpus.sh).

make-crafted.py CORPUS_DIR [SOF1_FILE]
make-crafted.py --bmp BMP24_FILE OUT_DIR
make-crafted.py --worst-case OUT_DIR   (about 1 MB each, not committed)

JPEG files built segment by segment, each aimed at one corner of the decoder:
pictures whose header claims far more pixels than the data can cover, the
densest picture the data can cover (every block two bits), restart markers out
of sequence, header segments in unusual forms, frames that must be refused
before anything is divided or sized, and progressive corners (a height from
DNL, one end-of-band run over every block, the DC coefficient refined bit by
bit, scans that break the progression rules). Also the inputs of the
display-bitmap target: small pictures and claimed sizes around the limits.
With --bmp: BMP forms that ImageMagick does not write, made from the pixels
of a real 24-bit BMP file with a 40-byte header.
With --worst-case: the two inputs that cost the decoder the most time per
byte, for timing the decoder by hand (jpeg2bmp, jpegbench): the most output
per byte (every 8 x 8 block two bits), and the longest Huffman searches per
byte (2040 codes of 9 to 16 bits, every symbol the last one).
"""
import os
import struct
import sys

ZIGZAG_FLAT = bytes([1] * 64)


def seg(marker, payload):
    return struct.pack(">BBH", 0xFF, marker, len(payload) + 2) + payload


def dqt(table_id=0, entries=ZIGZAG_FLAT):
    return seg(0xDB, bytes([table_id]) + entries)


def dht(table_class, table_id, counts, values):
    assert len(counts) == 16
    return seg(0xC4, bytes([(table_class << 4) | table_id]) + bytes(counts) + bytes(values))


def one_symbol_tables(table_id=0):
    """DC and AC tables with one 1-bit code each: DC category 0, AC end of
    block. Every block then costs exactly two bits, the 0 bits."""
    counts = [1] + [0] * 15
    return dht(0, table_id, counts, [0]) + dht(1, table_id, counts, [0])


def sof0(width, height, components, precision=8):
    payload = struct.pack(">BHHB", precision, height, width, len(components))
    for cid, h, v, tq in components:
        payload += bytes([cid, (h << 4) | v, tq])
    return seg(0xC0, payload)


def sos(selectors, ss=0, se=63, ah=0, al=0):
    payload = bytes([len(selectors)])
    for cs, td, ta in selectors:
        payload += bytes([cs, (td << 4) | ta])
    return seg(0xDA, payload + bytes([ss, se, (ah << 4) | al]))


def sof2(width, height, components):
    return b"\xff\xc2" + sof0(width, height, components)[2:]


SOI = b"\xff\xd8"
EOI = b"\xff\xd9"
GREY = [(1, 1, 1, 0)]
YCC420 = [(1, 2, 2, 0), (2, 1, 1, 0), (3, 1, 1, 0)]
SCAN1 = [(1, 0, 0)]
SCAN3 = [(1, 0, 0), (2, 0, 0), (3, 0, 0)]


def jpeg(frame, scan, data, extra=b"", after_frame=b""):
    return SOI + extra + dqt() + one_symbol_tables() + frame + after_frame + scan + data + EOI


def jpeg_seeds(out, sof1_file):
    seeds = {}
    # Huge claims in a few dozen bytes: planes that would not fit 32 bits,
    # and the largest planes that would (2^31 - 1 bytes or just under),
    # refused before anything is allocated because the data cannot cover
    # the picture.
    seeds["huge-65535-420-tiny"] = jpeg(sof0(65535, 65535, YCC420), sos(SCAN3), bytes(8))
    seeds["huge-65535-grey-tiny"] = jpeg(sof0(65535, 65535, GREY), sos(SCAN1), bytes(8))
    seeds["huge-46336-420-tiny"] = jpeg(sof0(46336, 46336, YCC420), sos(SCAN3), bytes(8))
    seeds["huge-65535x32760-grey-tiny"] = jpeg(sof0(65535, 32760, GREY), sos(SCAN1), bytes(8))
    seeds["huge-4096x4096-420-tiny"] = jpeg(sof0(4096, 4096, YCC420), sos(SCAN3), bytes(64))
    # The densest picture: 256 x 128 grey is 512 blocks of two bits, 128
    # bytes of zeros: exactly at the limit of what the data can cover.
    seeds["dense-grey-256x128"] = jpeg(sof0(256, 128, GREY), sos(SCAN1), bytes(128))
    seeds["dense-420-64x64"] = jpeg(sof0(64, 64, YCC420), sos(SCAN3), bytes(24))
    # Restart interval of 1 MCU with markers out of sequence and one that is
    # not a restart marker at all.
    rst = b""
    for marker in (0xD3, 0xD0, 0xD7, 0xFE):
        rst += b"\x00" + bytes([0xFF, marker])
    seeds["restart-out-of-sequence"] = jpeg(sof0(40, 8, GREY), sos(SCAN1), rst + b"\x00",
                                            extra=seg(0xDD, struct.pack(">H", 1)))
    # Header segments in their rarer forms: JFIF with a 2 x 1 thumbnail, JFXX,
    # a short APP0, DNL before the scan, APP15, an empty comment.
    jfif = seg(0xE0, b"JFIF\x00\x01\x02\x00\x00\x01\x00\x01\x02\x01" + bytes(6))
    jfxx = seg(0xE0, b"JFXX\x00\x10" + bytes(4))
    short_app0 = seg(0xE0, b"AB")
    extras = jfif + jfxx + short_app0 + seg(0xEF, b"x" * 7) + seg(0xFE, b"")
    seeds["header-segments"] = jpeg(sof0(8, 0, GREY), sos(SCAN1), bytes(2), extra=extras,
                                    after_frame=seg(0xDC, struct.pack(">H", 8)))
    # Huffman tables with 300 entries (more than the code space holds) and a
    # DQT segment with two tables, one of 16-bit entries.
    counts = [0, 0, 0, 0, 0, 0, 0, 0, 255, 45, 0, 0, 0, 0, 0, 0]
    big = dht(1, 1, counts, bytes(range(256)) + bytes(44))
    two_dqt = seg(0xDB, b"\x01" + ZIGZAG_FLAT + b"\x12" + b"\x00\x02" * 64)
    seeds["tables-300-entries"] = SOI + two_dqt + one_symbol_tables() + big + \
        sof0(16, 8, [(1, 1, 1, 2)]) + sos([(1, 0, 1)]) + bytes(4) + EOI
    # Frames to refuse cleanly: a sampling factor of 0, a quantisation
    # selector of 5, a scan with four components, a scan with no frame, a
    # scan that does not carry every frame component.
    seeds["sampling-zero"] = jpeg(sof0(16, 16, [(1, 0, 1, 0), (2, 1, 1, 0), (3, 1, 1, 0)]),
                                  sos(SCAN3), bytes(8))
    seeds["tq-5"] = jpeg(sof0(16, 16, [(1, 1, 1, 5)]), sos(SCAN1), bytes(8))
    seeds["scan-4-components"] = jpeg(sof0(16, 16, YCC420), sos(SCAN3 + [(4, 0, 0)]), bytes(8))
    seeds["scan-without-frame"] = SOI + dqt() + one_symbol_tables() + sos(SCAN1) + bytes(8) + EOI
    seeds["scan-one-of-three"] = jpeg(sof0(16, 16, YCC420), sos(SCAN1), bytes(8))
    seeds["precision-12"] = jpeg(sof0(8, 8, GREY, precision=12), sos(SCAN1), bytes(2))
    # Width or height 0: zero MCUs, empty planes.
    seeds["zero-height"] = jpeg(sof0(64, 0, YCC420), sos(SCAN3), b"")

    # Progressive corners. Tables of one 1-bit code each: DC category 0,
    # and an AC end-of-band run (EOB9, run 9: 512 blocks and 9 more bits).
    one = [1] + [0] * 15
    eob9 = dht(0, 0, one, [0]) + dht(1, 0, one, [0x90])

    def progressive(frame, scans, tables=None):
        return SOI + dqt() + (tables or one_symbol_tables()) + frame + b"".join(scans) + EOI

    # A height of 0 in the frame, then the DNL segment after the first scan.
    seeds["progressive-dnl"] = progressive(
        sof2(16, 0, GREY), [sos(SCAN1, 0, 0, 0, 0) + b"\x00" + seg(0xDC, struct.pack(">H", 16)),
                            sos(SCAN1, 1, 63, 0, 0) + b"\x00"])
    # 256 x 128 grey, 512 blocks, restart every 100: end-of-band runs of 512
    # blocks in an AC first and an AC refinement scan, each cut short by the
    # restart markers (and coded again after each).
    def intervals(per_interval, last):
        return b"".join(per_interval + bytes([0xFF, 0xD0 + i]) for i in range(5)) + last

    seeds["progressive-eob-run-512"] = progressive(
        sof2(256, 128, GREY), [seg(0xDD, struct.pack(">H", 100)),
                               sos(SCAN1, 0, 0, 0, 1) + intervals(bytes(13), bytes(2)),
                               sos(SCAN1, 1, 63, 0, 1) + intervals(bytes(2), bytes(2)),
                               sos(SCAN1, 1, 63, 1, 0) + intervals(bytes(2), bytes(2))],
        eob9)
    # The DC coefficient refined bit by bit from Al 13 down to 0.
    seeds["progressive-dc-every-bit"] = progressive(
        sof2(16, 16, GREY), [sos(SCAN1, 0, 0, 0, 13) + b"\x00"] +
        [sos(SCAN1, 0, 0, ah, ah - 1) + b"\x00" for ah in range(13, 0, -1)])
    # Scans that break their rules, and a claim the data cannot cover.
    seeds["progressive-ac-before-dc"] = progressive(sof2(8, 8, GREY), [sos(SCAN1, 1, 63, 0, 0) + b"\x00"])
    seeds["progressive-refinement-without-first"] = progressive(
        sof2(8, 8, GREY), [sos(SCAN1, 0, 0, 0, 0) + b"\x00", sos(SCAN1, 1, 63, 1, 0) + b"\x00"])
    seeds["progressive-ac-two-components"] = progressive(
        sof2(16, 16, YCC420), [sos(SCAN3, 0, 0, 0, 0) + bytes(2), sos(SCAN3[:2], 1, 63, 0, 0) + bytes(2)])
    seeds["huge-4096-progressive-tiny"] = progressive(sof2(4096, 4096, YCC420),
                                                      [sos(SCAN3, 0, 0, 0, 0) + bytes(8)])
    # A sequential frame whose component comes in two scans.
    seeds["multiscan-component-twice"] = jpeg(sof0(16, 16, YCC420), sos(SCAN1), bytes(8),
                                              after_frame=b"")[:-2] + sos(SCAN1) + bytes(8) + EOI

    if sof1_file:
        data = bytearray(open(sof1_file, "rb").read())
        at = data.find(b"\xff\xc1")
        if at >= 0:
            data[at + 1] = 0xC0
            seeds["q1-16bit-tables-sof0"] = bytes(data)

    for name, data in seeds.items():
        with open(os.path.join(out, name + ".jpg"), "wb") as f:
            f.write(data)


def bitmap_seeds(out):
    def small(width, height, fill):
        return b"\x00" + struct.pack("<II", width - 1, height - 1) + fill

    def claimed(width, height):
        return b"\x01" + struct.pack("<ii", width, height)

    seeds = {
        "small-1x1": small(1, 1, b"\x10\x20\x30"),
        "small-5x3": small(5, 3, bytes(range(45))),      # stride 16, one pad byte
        "small-4x4": small(4, 4, bytes(range(48))),      # stride 12, no padding
        "small-299x2": small(299, 2, b"\xff\x00\x80"),
        "claim-zero": claimed(0, 10),
        "claim-negative": claimed(-3, 7),
        "claim-int-max": claimed(0x7FFFFFFF, 0x7FFFFFFF),
        # 54 + stride x height just within and just beyond 2^32 - 1.
        "claim-fits-4g": claimed(4, (0xFFFFFFFF - 54) // 12),
        "claim-beyond-4g": claimed(4, (0xFFFFFFFF - 54) // 12 + 1),
        "claim-1024x768": claimed(1024, 768),
    }
    for name, data in seeds.items():
        with open(os.path.join(out, name + ".bin"), "wb") as f:
            f.write(data)


def bmp_file(width, height, bits, rows, header_size=40, compression=0, masks=b"",
             masks_after_header=False, top_down=False):
    """A BMP file image: headers, optional masks, then the given rows."""
    pixels = b"".join(rows)
    offset = 14 + header_size + (len(masks) if masks_after_header else 0)
    info = struct.pack("<IiiHHIIiiII", header_size, width, -height if top_down else height,
                       1, bits, compression, len(pixels), 2835, 2835, 0, 0)
    if header_size > 40:
        info += masks.ljust(header_size - 40, b"\x00")
    header = b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset)
    return header + info + (masks if masks_after_header else b"") + pixels


def bmp_seeds(source, out):
    data = open(source, "rb").read()
    offset, = struct.unpack_from("<I", data, 10)
    width, height = struct.unpack_from("<ii", data, 18)
    assert struct.unpack_from("<HI", data, 28) == (24, 0) and height > 0
    stride24 = (3 * width + 3) // 4 * 4
    # Pixels as (b, g, r), bottom row first, as the file stores them.
    pixels = [[tuple(data[offset + y * stride24 + 3 * x: offset + y * stride24 + 3 * x + 3])
               for x in range(width)] for y in range(height)]

    def pad(row):
        return row + bytes(-len(row) % 4)

    rows32 = [pad(b"".join(bytes([b, g, r, 0]) for b, g, r in row)) for row in pixels]
    rows565 = [pad(b"".join(struct.pack("<H", ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3))
                            for b, g, r in row)) for row in pixels]
    rows555 = [pad(b"".join(struct.pack("<H", ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3))
                            for b, g, r in row)) for row in pixels]
    rows24 = [pad(b"".join(bytes(p) for p in row)) for row in pixels]
    masks565 = struct.pack("<III", 0xF800, 0x07E0, 0x001F)
    seeds = {
        "bits32-rgb-40": bmp_file(width, height, 32, rows32),
        "bits16-rgb555-40": bmp_file(width, height, 16, rows555),
        "bits16-bitfields-40": bmp_file(width, height, 16, rows565, compression=3,
                                        masks=masks565, masks_after_header=True),
        "bits16-bitfields-v2-52": bmp_file(width, height, 16, rows565, header_size=52,
                                           compression=3, masks=masks565),
        "bits24-v4-108": bmp_file(width, height, 24, rows24, header_size=108),
        "bits24-top-down": bmp_file(width, height, 24, rows24[::-1], top_down=True),
    }
    for name, image in seeds.items():
        with open(os.path.join(out, name + ".bmp"), "wb") as f:
            f.write(image)


def worst_case_seeds(out):
    # 65528 x 4096 grey: 4,193,792 blocks of two bits, 1 MB of zeros.
    width, height = 65528, 4096
    blocks = (width // 8) * (height // 8)
    with open(os.path.join(out, "worst-output-per-byte.jpg"), "wb") as f:
        f.write(jpeg(sof0(width, height, GREY), sos(SCAN1), bytes(blocks // 4)))

    # Code lengths 9 to 16, 255 codes each (the code space stays incomplete),
    # every block coded as the last DC code and the last AC code: each symbol
    # is found after comparing all 2040 entries.
    counts = [0] * 8 + [255] * 8
    code, last = 0, 0
    for length in range(1, 17):
        code += counts[length - 1]
        last = code - 1
        code <<= 1
    values = bytes([1] * 2039 + [0])
    tables = dht(0, 0, counts, values) + dht(1, 0, counts, values)
    block = struct.pack(">HH", last, last).replace(b"\xff", b"\xff\x00")
    width, height = 65528, 256  # 262,112 blocks, about 1 MB
    blocks = (width // 8) * (height // 8)
    with open(os.path.join(out, "worst-huffman-search.jpg"), "wb") as f:
        f.write(SOI + dqt() + tables + sof0(width, height, GREY) + sos(SCAN1) + block * blocks + EOI)


def main():
    if sys.argv[1] == "--worst-case":
        worst_case_seeds(sys.argv[2])
        return
    if sys.argv[1] == "--bmp":
        bmp_seeds(sys.argv[2], sys.argv[3])
        return
    corpus = sys.argv[1]
    sof1 = sys.argv[2] if len(sys.argv) > 2 else None
    os.makedirs(os.path.join(corpus, "jpeg_decoder"), exist_ok=True)
    os.makedirs(os.path.join(corpus, "display_bitmap"), exist_ok=True)
    jpeg_seeds(os.path.join(corpus, "jpeg_decoder"), sof1)
    bitmap_seeds(os.path.join(corpus, "display_bitmap"))


if __name__ == "__main__":
    main()
