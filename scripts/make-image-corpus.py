#!/usr/bin/env python3
"""Writes the seed corpus of the image fuzz target, tests/fuzz/corpus/image/,
which the texture tests read too: small valid images of every format the game
loads (PNG, JPEG, BMP, TGA), drawn from one picture; "other_..." files in
formats it does not load (PSD, HDR, GIF, DDS, text); and "bad_..." files,
malformed, whose headers give huge, negative or overflowing sizes, or that
are cut short. colour_chunks.png carries, besides the picture, chunks whose text
and colour profile inflate to 8 MB each; colour_alpha_surplus.png's image data
inflate to 256 MiB of zeros past its rows, and those of
colour_alpha_interlaced_surplus.png past its last pass.

The picture, top row first, 3 x 2 pixels:
  colour: red, green, blue / white, black, yellow
  alpha:  255, 170, 85 / 0, 255, 51
  grey:   0, 85, 170 / 255, 51, 204
grey.jpg and colour.jpg are 16 x 8: a block of grey 64 beside one of 192;
rows.jpg is 8 x 16: 64 above 192."""
import os
import struct
import zlib

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "fuzz", "corpus",
                   "image")
W, H = 3, 2
COLOUR = [(255, 0, 0), (0, 255, 0), (0, 0, 255), (255, 255, 255), (0, 0, 0), (255, 255, 0)]
ALPHA = [255, 170, 85, 0, 255, 51]
GREY = [0, 85, 170, 255, 51, 204]


def rows(pixels, width=W):
    return [pixels[i:i + width] for i in range(0, len(pixels), width)]


# ---- PNG ----

def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))


# Adam7's passes: (first column, first row, column step, row step).
ADAM7 = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2),
         (0, 1, 1, 2)]


def png(width, height, colour_type, raw_rows, extra=b"", depth=8, surplus=0, interlaced=False):
    """`surplus` zeros follow the rows in the image data's one stream; an
    interlaced image's rows are those of its seven passes in turn."""
    if interlaced:
        size = len(raw_rows[0]) // width  # bytes a pixel
        raw_rows = [[v for x in range(x0, width, dx) for v in r[x * size:(x + 1) * size]]
                    for x0, y0, dx, dy in ADAM7 if x0 < width for r in raw_rows[y0::dy]]
    deflate = zlib.compressobj()
    data = deflate.compress(b"".join(b"\0" + bytes(r) for r in raw_rows))
    for _ in range(surplus >> 20):
        data += deflate.compress(bytes(1 << 20))
    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, depth, colour_type, 0, 0,
                                       int(interlaced))) +
            extra + chunk(b"IDAT", data + deflate.flush()) + chunk(b"IEND", b""))


def flat(row_of_tuples):
    return [v for p in row_of_tuples for v in (p if isinstance(p, tuple) else (p,))]


def pngs():
    rgba = [c + (a,) for c, a in zip(COLOUR, ALPHA)]
    ga = list(zip(GREY, ALPHA))
    palette = b"".join(bytes(c) for c in COLOUR)
    colour = png(W, H, 2, [flat(r) for r in rows(COLOUR)])
    # An ICC header (RGB monitor, D50, no tags) of 8 MB, the rest zeros.
    icc = struct.pack(">I8x4s4s4s12x4s28x3i", 7900000, b"mntr", b"RGB ", b"XYZ ", b"acsp", 63190,
                      65536, 54061).ljust(7900000, b"\0")
    inflating = [chunk(b"zTXt", b"z\0\0" + zlib.compress(b"z" * 7900000, 9))] * 2 + [
        chunk(b"iTXt", b"i\0\1\0\0\0" + zlib.compress(b"i" * 7900000, 9)),
        chunk(b"iCCP", b"c\0\0" + zlib.compress(icc, 9))]
    return {
        "colour.png": colour,
        "colour_chunks.png": png(W, H, 2, [flat(r) for r in rows(COLOUR)], b"".join(inflating)),
        # A text chunk that claims 2 GiB and holds three bytes.
        "bad_png_text_length.png": colour[:33] + b"\x7f\xff\xff\xf0tEXtk\0v",
        "colour_alpha.png": png(W, H, 6, [flat(r) for r in rows(rgba)]),
        "grey.png": png(W, H, 0, rows(GREY)),
        "grey_alpha.png": png(W, H, 4, [flat(r) for r in rows(ga)]),
        "palette.png": png(W, H, 3, rows(list(range(6))), chunk(b"PLTE", palette)),
        # Sixteen bits a channel: each value v stored as v * 257.
        "colour_16bit.png": png(W, H, 2, [[b for v in flat(r) for b in (v, v)]
                                          for r in rows(COLOUR)], depth=16),
        # 100000 x 100000 in the header, a few bytes of pixels.
        "bad_png_huge.png": png(100000, 100000, 2, [[0, 0, 0]]),
        # 10000 x 10000: within a 16384 texture side, over the pixel limit.
        "bad_png_many_pixels.png": png(10000, 10000, 2, [[0, 0, 0]]),
        "bad_png_truncated.png": png(W, H, 2, [flat(r) for r in rows(COLOUR)])[:45],
        "bad_png_cut_in_crc.png": colour[:31],
        "colour_alpha_surplus.png": png(W, H, 6, [flat(r) for r in rows(rgba)], surplus=1 << 28),
        "colour_alpha_interlaced_surplus.png": png(W, H, 6, [flat(r) for r in rows(rgba)],
                                                   surplus=1 << 28, interlaced=True),
    }


# ---- BMP ----

def bmp(width, height, bpp, pixel_rows, header_size=40):
    """pixel_rows: rows as stored in the file, each a list of byte tuples."""
    body = b""
    for r in pixel_rows:
        line = b"".join(bytes(p) for p in r)
        body += line + b"\0" * (-len(line) % 4)
    info = struct.pack("<IiiHHIIiiII", header_size, width, height, 1, bpp, 0, len(body), 2835,
                       2835, 0, 0)
    info += b"\0" * (header_size - len(info))
    offset = 14 + len(info)
    return b"BM" + struct.pack("<IHHI", offset + len(body), 0, 0, offset) + info + body


def bmps():
    bgr = [(b, g, r) for r, g, b in COLOUR]
    bgra = [(b, g, r, a) for (r, g, b), a in zip(COLOUR, ALPHA)]
    tiny = [[(1, 2, 3)]]
    return {
        "colour.bmp": bmp(W, H, 24, list(reversed(rows(bgr)))),
        "top_down.bmp": bmp(W, -H, 24, rows(bgr)),
        "colour_alpha.bmp": bmp(W, H, 32, list(reversed(rows(bgra)))),
        "bad_bmp_huge_width.bmp": bmp(0x7FFFFFFF, 1, 24, tiny),
        "bad_bmp_huge_height.bmp": bmp(1, 0x7FFFFFFF, 24, tiny),
        "bad_bmp_negative_width.bmp": bmp(-3, 2, 24, tiny),
        "bad_bmp_lowest_height.bmp": bmp(1, -0x80000000, 24, tiny),
        # 65536 x 65536 x 3 bytes wraps 32 bits; so does 0x55555556 x 3.
        "bad_bmp_overflow.bmp": bmp(0x10000, 0x10000, 24, tiny),
        "bad_bmp_row_overflow.bmp": bmp(0x55555556, 1, 24, tiny),
        "bad_bmp_zero_bits.bmp": bmp(W, H, 0, tiny),
        "bad_bmp_zero_size.bmp": bmp(0, 0, 24, tiny),
        "bad_bmp_zero_height.bmp": bmp(W, 0, 24, tiny),
        # Taller than any texture.
        "bad_bmp_tall.bmp": bmp(1, 40000, 24, tiny),
    }


# ---- TGA ----

def tga(kind, width, height, bpp, data, descriptor=0, colour_map=None):
    """colour_map: (first entry, entries, bits per entry) of a paletted image."""
    spec = struct.pack("<HHB", *colour_map) if colour_map else b"\0" * 5
    return (struct.pack("<BBB", 0, 1 if colour_map else 0, kind) + spec +
            struct.pack("<HHHHBB", 0, 0, width, height, bpp, descriptor) + data)


def tga_rle(pixels):
    """One raw packet for the first pixel, then runs of one."""
    out = b""
    for p in pixels:
        out += b"\x00" + bytes(p)
    return out


def tgas():
    bgr = [(b, g, r) for r, g, b in COLOUR]
    bgra = [(b, g, r, a) for (r, g, b), a in zip(COLOUR, ALPHA)]
    bottom_up = [p for r in reversed(rows(bgr)) for p in r]
    return {
        "colour.tga": tga(2, W, H, 24, b"".join(bytes(p) for p in bottom_up)),
        # RLE, 32 bits, top row first (descriptor bit 5), 8 alpha bits.
        "colour_alpha_rle.tga": tga(10, W, H, 32, tga_rle(bgra), descriptor=0x28),
        "grey.tga": tga(3, W, H, 8, bytes(v for r in reversed(rows(GREY)) for v in r)),
        "bad_tga_huge.tga": tga(2, 0xFFFF, 0xFFFF, 32, b"\1\2\3\4"),
        "bad_tga_huge_rle.tga": tga(10, 0xFFFF, 0xFFFF, 24, b"\xff\1\2\3"),
        "bad_tga_zero_width.tga": tga(2, 0, 5, 24, b"\1\2\3"),
        "bad_tga_odd_bits.tga": tga(2, 5, 3, 7, b"\1\2\3\4\5\6"),
        "bad_tga_one_bit.tga": tga(3, 0xFFFF, 9, 1, b"\1\2\3"),
        "bad_tga_huge_map.tga": tga(1, 4, 4, 8, b"\0" * 16, colour_map=(0, 0xFFFF, 24)),
        # 14096 x 4176 from a few bytes of runs: decoded past the end, whole.
        "bad_tga_short_rle.tga": tga(10, 14096, 4176, 16, b"\xff\1\2" * 8),
        # One byte short of a byte per 64 pixels: 127 bytes for 128 x 64.
        "bad_tga_short_by_one.tga": tga(11, 128, 64, 8, b"\xff\x80" * 54 + b"\xff"),
        "bad_tga_map_start.tga": tga(1, 2, 2, 8, b"\xff" * 8, colour_map=(0xFFFF, 2, 24)),
    }


# ---- PSD ----

def psd(width, height, channels, data, compression=0):
    header = b"8BPS" + struct.pack(">H6xHIIHH", 1, channels, height, width, 8, 3)
    return header + struct.pack(">III", 0, 0, 0) + struct.pack(">H", compression) + data


def psds():
    planes = b"".join(bytes(c[i] for c in COLOUR) for i in range(3))
    return {
        "other_colour.psd": psd(W, H, 3, planes),
        # The sizes multiply past 32 bits; negative ones too.
        "bad_psd_wrapping.psd": psd(0x40000000, 0x40000000, 4, b"\1" * 16),
        "bad_psd_wrapping_wide.psd": psd(0x7FFFFFFF, 3, 3, b"\1" * 16),
        "bad_psd_negative.psd": psd(0xFFFFFFFF, 0xFFFFFFFE, 3, b"\1" * 16),
        "bad_psd_rle_huge.psd": psd(0x10000, 0x10000, 3, b"\0\1" * 8 + b"\x81\7" * 8, 1),
    }


# ---- HDR ----

def hdr(size_line, data):
    return b"#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n" + size_line + b"\n" + data


def hdrs():
    # 1.0 is 128 * 2^(129 - 136); 0 is all zeros. 1.0 loads as 255.
    def rgbe(c):
        return bytes((128 if v else 0 for v in c)) + (b"\x81" if any(c) else b"\0")
    return {
        "other_colour.hdr": hdr(b"-Y 2 +X 3", b"".join(rgbe(c) for c in COLOUR)),
        # A run of length 0 at the end of the data: Debian's stb_image loops.
        "other_zero_run.hdr": hdr(b"-Y 1 +X 100", b"\2\2\0\x64"),
        "bad_hdr_huge.hdr": hdr(b"-Y 2000000000 +X 2000000000", b"\2\2\0\x10" + b"\1" * 16),
        "bad_hdr_wide.hdr": hdr(b"-Y 1 +X 1000000000", b"\2\2\0\x10" + b"\1" * 16),
        "bad_hdr_negative.hdr": hdr(b"-Y -5 +X 3", b"\1" * 16),
        "bad_hdr_overflowing.hdr": hdr(b"-Y 99999999999 +X 2", b"\1" * 16),
    }


# ---- JPEG: baseline, flat 8 x 8 blocks of grey ----

def jpeg_grey(width, height, levels, ac_counts=None, components=1):
    """levels: one grey value per 8 x 8 block, left to right, then down;
    ac_counts: the AC table's code counts by length, to break it;
    components: 1 (grey) or 3 (YCbCr, colour neutral)."""
    def segment(marker, body):
        return struct.pack(">BBH", 0xFF, marker, len(body) + 2) + body
    dqt = segment(0xDB, b"\0" + b"\1" * 64)
    sof = segment(0xC0, struct.pack(">BHHB", 8, height, width, components) +
                  b"".join(bytes([c + 1, 0x11, 0]) for c in range(components)))
    # DC categories 10, 11 and 0 with the two-bit codes 00, 01 and 10; the
    # AC table holds only the end of block, code 0.
    dc = segment(0xC4, b"\x00" + bytes([0, 3] + [0] * 14) + b"\x0a\x0b\x00")
    counts = ac_counts or [1] + [0] * 15
    ac = segment(0xC4, b"\x10" + bytes(counts) + b"\x00" * sum(counts))
    sos = segment(0xDA, bytes([components]) +
                  b"".join(bytes([c + 1, 0]) for c in range(components)) + b"\x00\x3f\x00")
    bits = ""
    previous = 0
    for level in levels:
        dc_value = (level - 128) * 8
        diff = dc_value - previous
        previous = dc_value
        category = abs(diff).bit_length()
        assert category in (10, 11)
        value = diff if diff >= 0 else diff + (1 << category) - 1
        bits += ("00" if category == 10 else "01") + format(value, "0%db" % category) + "0"
        bits += "100" * (components - 1)  # Cb and Cr stay at 0: neutral
    bits += "1" * (-len(bits) % 8)
    scan = b""
    for i in range(0, len(bits), 8):
        byte = int(bits[i:i + 8], 2)
        scan += bytes([byte]) + (b"\0" if byte == 0xFF else b"")
    return b"\xFF\xD8" + dqt + sof + dc + ac + sos + scan + b"\xFF\xD9"


def jpegs():
    good = jpeg_grey(16, 8, [64, 192])
    return {
        "grey.jpg": good,
        "colour.jpg": jpeg_grey(16, 8, [64, 192], components=3),
        "rows.jpg": jpeg_grey(8, 16, [64, 192]),
        "bad_jpg_huge.jpg": jpeg_grey(16, 8, [64, 192]).replace(
            struct.pack(">HH", 8, 16), struct.pack(">HH", 0xFFFF, 0xFFFF), 1),
        "bad_jpg_zero_height.jpg": good.replace(struct.pack(">HH", 8, 16),
                                                struct.pack(">HH", 0, 16), 1),
        "bad_jpg_truncated.jpg": good[:len(good) - 6],
        # More codes than a table holds (256): stb_image 2.27 writes past it.
        "bad_jpg_table_overflow.jpg": jpeg_grey(16, 8, [64, 192], [0, 0] + [255] * 14),
    }


# ---- Formats the game does not load ----

def others():
    gif = (b"GIF89a" + struct.pack("<HHBBB", 1, 1, 0x80, 0, 0) + b"\0\0\0\xff\xff\xff" +
           b"\x2c" + struct.pack("<HHHHB", 0, 0, 1, 1, 0) + b"\x02\x02\x44\x01\x00\x3b")
    dds = (b"DDS " + struct.pack("<7I", 124, 0x100F, 1, 1, 4, 0, 0) + b"\0" * 44 +
           struct.pack("<8I", 32, 0x41, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000) +
           struct.pack("<5I", 0x1000, 0, 0, 0, 0) + b"\1\2\3\4")
    return {
        "other_one_pixel.gif": gif,
        "other_one_pixel.dds": dds,
        "other_text.txt": b"these bytes are no picture\n",
        "other_empty": b"",
    }


def main():
    os.makedirs(OUT, exist_ok=True)
    files = {}
    for make in (pngs, bmps, tgas, psds, hdrs, jpegs, others):
        files.update(make())
    for name, data in sorted(files.items()):
        with open(os.path.join(OUT, name), "wb") as f:
            f.write(data)
    print("%d files in %s" % (len(files), os.path.normpath(OUT)))


if __name__ == "__main__":
    main()
