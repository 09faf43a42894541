#!/usr/bin/env python3
"""Draws the application icon and writes every file made from it.

The picture is drawn here, in code: a device body with an arrow that brings a new image down
into its flash. From it come

  quorvel.ico                          the icon resource IDI_APP_ICON with exactly three images:
                                       32x32 at 4 bits (blank), 32x32 at 8 bits (the picture),
                                       48x48 at 8 bits (blank); a blank image has every pixel
                                       masked out
  hicolor/NxN/apps/quorvel.png         the picture as RGBA PNG for the Linux desktop and the
                                       window icon, at the usual hicolor sizes

Only the Python standard library is used, and the output depends on nothing but this file.

  make_icons.py [--output DIR]   write the files (DIR defaults to the folder of this script)
  make_icons.py --check [DIR]    exit 1 when a committed file differs from what would be drawn
"""

import argparse
import os
import struct
import sys
import zlib

PNG_SIZES = (16, 24, 32, 48, 64, 128, 256)

# Colours of the picture (RGB).
BODY_TOP = (0x2A, 0x7F, 0xC4)
BODY_BOTTOM = (0x16, 0x4A, 0x80)
ARROW = (0xFF, 0xFF, 0xFF)
FLASH_BAR = (0x7F, 0xE0, 0x8A)


# ---------------------------------------------------------------- drawing
# Shapes are given in a unit square (0..1, y down) and sampled on a grid inside every pixel, so
# that the picture is sharp at 16 pixels and smooth at 256.

def _in_rounded_rect(x, y, left, top, right, bottom, radius):
    if x < left or x > right or y < top or y > bottom:
        return False
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius


def _in_triangle(x, y, a, b, c):
    def side(p, q):
        return (q[0] - p[0]) * (y - p[1]) - (q[1] - p[1]) * (x - p[0])
    d1, d2, d3 = side(a, b), side(b, c), side(c, a)
    has_neg = d1 < 0 or d2 < 0 or d3 < 0
    has_pos = d1 > 0 or d2 > 0 or d3 > 0
    return not (has_neg and has_pos)


def _sample(x, y):
    """Colour (r, g, b) of the picture at a point, or None where it is transparent."""
    if _in_rounded_rect(x, y, 0.26, 0.75, 0.74, 0.84, 0.035):
        return FLASH_BAR
    if _in_rounded_rect(x, y, 0.43, 0.14, 0.57, 0.50, 0.02):
        return ARROW
    if _in_triangle(x, y, (0.24, 0.44), (0.76, 0.44), (0.50, 0.69)):
        return ARROW
    if _in_rounded_rect(x, y, 0.06, 0.06, 0.94, 0.94, 0.18):
        t = min(max((y - 0.06) / 0.88, 0.0), 1.0)
        return tuple(round(a + (b - a) * t) for a, b in zip(BODY_TOP, BODY_BOTTOM))
    return None


def render(size):
    """The picture at size x size as rows of (r, g, b, a), not premultiplied."""
    grid = 8 if size <= 48 else 4
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            covered = 0
            acc = [0, 0, 0]
            for sy in range(grid):
                for sx in range(grid):
                    colour = _sample((px + (sx + 0.5) / grid) / size, (py + (sy + 0.5) / grid) / size)
                    if colour is not None:
                        covered += 1
                        for i in range(3):
                            acc[i] += colour[i]
            if covered == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append(tuple(round(c / covered) for c in acc) + (round(255 * covered / (grid * grid)),))
        rows.append(row)
    return rows


# ---------------------------------------------------------------- PNG

def _png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


def png_scanlines(rows):
    """The filtered scanlines of an RGBA image: filter type 0 and the pixel bytes of each row."""
    return b"".join(b"\x00" + bytes(v for pixel in row for v in pixel) for row in rows)


def encode_png(rows):
    size = len(rows)
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA, no interlace
    return (b"\x89PNG\r\n\x1a\n" + _png_chunk(b"IHDR", header)
            + _png_chunk(b"IDAT", zlib.compress(png_scanlines(rows), 9)) + _png_chunk(b"IEND", b""))


def decode_png_scanlines(data):
    """The header and the decompressed scanlines of a PNG, to compare pixels whatever zlib packed."""
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG")
    pos, header, idat = 8, None, b""
    while pos + 8 <= len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            header = body
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    return header, zlib.decompress(idat)


# ---------------------------------------------------------------- ICO

def _quantize(pixels):
    """A palette of at most 255 colours for the opaque pixels, and each pixel's colour in it."""
    shift = 0
    while True:
        def reduce(c):
            return tuple((v >> shift) << shift for v in c)
        colours = sorted({reduce(p[:3]) for p in pixels if p[3] >= 128})
        if len(colours) <= 255:
            return colours, reduce
        shift += 1


def _dib(width, height, bits, palette, indices, mask):
    """One icon image: BITMAPINFOHEADER (height doubled for the mask), palette, XOR and AND bitmaps,
    rows bottom-up and padded to 4 bytes. `mask` holds 1 where the pixel is transparent."""
    xor_stride = ((width * bits + 31) // 32) * 4
    and_stride = ((width + 31) // 32) * 4
    xor = bytearray()
    and_ = bytearray()
    for y in reversed(range(height)):
        line = bytearray(xor_stride)
        bits_line = bytearray(and_stride)
        for x in range(width):
            index = indices[y][x]
            if bits == 8:
                line[x] = index
            else:
                line[x // 2] |= index << (4 if x % 2 == 0 else 0)
            if mask[y][x]:
                bits_line[x // 8] |= 0x80 >> (x % 8)
        xor += line
        and_ += bits_line
    colours = 1 << bits
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, bits, 0, len(xor) + len(and_),
                         0, 0, colours, 0)
    table = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette)
    table += b"\x00" * (4 * colours - len(table))
    return header + table + bytes(xor) + bytes(and_)


def _blank(width, height, bits):
    indices = [[0] * width for _ in range(height)]
    mask = [[1] * width for _ in range(height)]
    return _dib(width, height, bits, [], indices, mask)


def _picture_8bit(rows):
    size = len(rows)
    palette, reduce = _quantize([p for row in rows for p in row])
    # Index 0 is black: the colour under the mask, so that masked pixels leave the screen as it is.
    palette = [(0, 0, 0)] + palette
    lookup = {c: i for i, c in enumerate(palette) if i > 0}
    indices = [[lookup[reduce(p[:3])] if p[3] >= 128 else 0 for p in row] for row in rows]
    mask = [[0 if p[3] >= 128 else 1 for p in row] for row in rows]
    return _dib(size, size, 8, palette, indices, mask)


def encode_ico(picture32):
    images = [  # (width, height, colour count byte, bits, data)
        (32, 32, 16, 4, _blank(32, 32, 4)),
        (32, 32, 0, 8, _picture_8bit(picture32)),
        (48, 48, 0, 8, _blank(48, 48, 8)),
    ]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for width, height, count, bits, data in images:
        out += struct.pack("<BBBBHHII", width, height, count, 0, 1, bits, len(data), offset)
        offset += len(data)
    return out + b"".join(image[4] for image in images)


# ---------------------------------------------------------------- files

def outputs():
    """(relative path, bytes) of every generated file."""
    pictures = {size: render(size) for size in PNG_SIZES}
    files = [("quorvel.ico", encode_ico(pictures[32]))]
    for size in PNG_SIZES:
        files.append((f"hicolor/{size}x{size}/apps/quorvel.png", encode_png(pictures[size])))
    return files


def same_content(path, data):
    try:
        with open(path, "rb") as f:
            old = f.read()
    except OSError:
        return False
    if path.endswith(".png"):
        try:
            return decode_png_scanlines(old) == decode_png_scanlines(data)
        except (ValueError, zlib.error, struct.error):
            return False
    return old == data


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--output", default=here, help="folder to write into")
    parser.add_argument("--check", nargs="?", const=here, metavar="DIR",
                        help="compare with the files in DIR instead of writing")
    args = parser.parse_args()

    if args.check:
        stale = [rel for rel, data in outputs() if not same_content(os.path.join(args.check, rel), data)]
        for rel in stale:
            print(f"stale or missing: {rel} (run {os.path.basename(__file__)})", file=sys.stderr)
        return 1 if stale else 0

    for rel, data in outputs():
        path = os.path.join(args.output, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main())
