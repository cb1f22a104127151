#!/usr/bin/env python3
"""Draws Spadrim's icon at every size Windows asks for and writes them into one .ico (32-bit PNG
entries), or the installer's side picture (164 x 314, 24-bit BMP): the mark on a pale teal ground.
The mark: a rounded teal tile split like a treemap into three blocks, readable at 16 px.
Standard library only, so the build needs nothing beyond Python.
    make_icon.py OUT.ico
    make_icon.py --wizard OUT.bmp"""
import struct
import sys
import zlib

SIZES = [16, 20, 24, 32, 40, 48, 64, 128, 256]
BACK = (13, 148, 136)       # the accent teal
BLOCKS = [                  # (x0, y0, x1, y1) in units of the tile, and colour
    ((0.16, 0.16, 0.58, 0.84), (255, 255, 255)),
    ((0.64, 0.16, 0.84, 0.46), (204, 251, 241)),
    ((0.64, 0.52, 0.84, 0.84), (153, 246, 228)),
]


def inside_rounded(x, y, size, radius):
    """Coverage (0..1) of pixel (x, y) by a rounded square of the given size, 4x4 supersampled."""
    hits = 0
    for sy in range(4):
        for sx in range(4):
            px = x + (sx + 0.5) / 4
            py = y + (sy + 0.5) / 4
            cx = min(max(px, radius), size - radius)
            cy = min(max(py, radius), size - radius)
            if (px - cx) ** 2 + (py - cy) ** 2 <= radius * radius:
                hits += 1
    return hits / 16


def draw(size):
    radius = size * 0.22
    rows = []
    for y in range(size):
        row = bytearray()
        for x in range(size):
            alpha = inside_rounded(x, y, size, radius)
            colour = BACK
            for (x0, y0, x1, y1), block in BLOCKS:
                # Snap block edges to whole pixels so small sizes stay crisp.
                if round(x0 * size) <= x < round(x1 * size) and round(y0 * size) <= y < round(y1 * size):
                    colour = block
            row += bytes(colour) + bytes([round(alpha * 255)])
        rows.append(bytes(row))
    return rows


def png(size, rows):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    raw = b"".join(b"\x00" + row for row in rows)
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


def wizard_picture(width=164, height=314, mark=112, top=64):
    """The installer's side picture as a bottom-up 24-bit BMP."""
    ground = (240, 253, 250)
    left = (width - mark) // 2
    rows = draw(mark)
    data = bytearray()
    for y in reversed(range(height)):
        row = bytearray()
        for x in range(width):
            colour = ground
            if left <= x < left + mark and top <= y < top + mark:
                pixel = rows[y - top][(x - left) * 4:(x - left) * 4 + 4]
                alpha = pixel[3] / 255
                colour = tuple(round(pixel[i] * alpha + ground[i] * (1 - alpha)) for i in range(3))
            row += bytes(reversed(colour))  # BMP keeps blue, green, red
        row += bytes(-len(row) % 4)
        data += row
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    return b"BM" + struct.pack("<IHHI", 14 + len(header) + len(data), 0, 0, 14 + len(header)) + header + data


def main():
    if sys.argv[1] == "--wizard":
        with open(sys.argv[2], "wb") as f:
            f.write(wizard_picture())
        return
    images = [png(size, draw(size)) for size in SIZES]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(SIZES, images):
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    with open(sys.argv[1], "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    main()
