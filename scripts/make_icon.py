#!/usr/bin/env python3
"""Writes the extractor's icon and background bitmap into src/ui/.

lockbox.ico     one 32 x 32 image, 16 colours (4 bits per pixel): a padlock
                in front of a box
background.bmp  8 x 8, 4 bits per pixel, BI_RGB: all pixels palette entry 7
                (light grey), the plain tile an archive creator may replace

Both use the standard 16-colour VGA palette. Run from anywhere; the output
is deterministic, so the committed files can be checked against it.
"""
import os
import struct

VGA = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, MAROON, OLIVE, SILVER, GREY, YELLOW, WHITE = 0, 1, 3, 7, 8, 11, 15


def palette():
    return b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in VGA)


def draw_icon():
    """32 x 32 grid of palette indices, None = transparent; row 0 is the top."""
    grid = [[None] * 32 for _ in range(32)]

    def rect(x0, y0, x1, y1, colour):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                grid[y][x] = colour

    # The box: outline, body, lid band.
    rect(2, 15, 29, 30, MAROON)
    rect(3, 16, 28, 29, OLIVE)
    rect(3, 19, 28, 19, MAROON)
    # The shackle: an inverted U of grey with a silver inner edge.
    rect(10, 4, 21, 5, GREY)
    rect(10, 4, 11, 13, GREY)
    rect(20, 4, 21, 13, GREY)
    rect(12, 6, 19, 6, SILVER)
    rect(12, 6, 12, 13, SILVER)
    rect(19, 6, 19, 13, SILVER)
    # The lock body with a highlight and a keyhole.
    rect(8, 12, 23, 26, BLACK)
    rect(9, 13, 22, 25, YELLOW)
    rect(9, 13, 22, 13, WHITE)
    rect(15, 16, 16, 16, BLACK)
    rect(14, 17, 17, 19, BLACK)
    rect(15, 20, 16, 23, BLACK)
    return grid


def icon_bytes():
    grid = draw_icon()
    xor = bytearray()
    mask = bytearray()
    for row in reversed(grid):  # bottom-up
        for x in range(0, 32, 2):
            hi = row[x] if row[x] is not None else 0
            lo = row[x + 1] if row[x + 1] is not None else 0
            xor.append(hi << 4 | lo)
        bits = 0
        for x in range(32):
            bits = bits << 1 | (1 if row[x] is None else 0)
        mask += struct.pack(">I", bits)
    header = struct.pack("<IiiHHIIiiII", 40, 32, 64, 1, 4, 0, len(xor) + len(mask), 0, 0, 0, 0)
    image = header + palette() + bytes(xor) + bytes(mask)
    assert len(image) == 744
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", 32, 32, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


def bitmap_bytes():
    pixels = bytes([0x77] * 4) * 8  # 8 rows of 8 pixels, 4 bytes a row
    info = struct.pack("<IiiHHIIiiII", 40, 8, 8, 1, 4, 0, len(pixels), 0, 0, 16, 0)
    offset = 14 + len(info) + 64
    file_header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return file_header + info + palette() + pixels


def main():
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "src", "ui")
    with open(os.path.join(out, "lockbox.ico"), "wb") as f:
        f.write(icon_bytes())
    with open(os.path.join(out, "background.bmp"), "wb") as f:
        f.write(bitmap_bytes())


if __name__ == "__main__":
    main()
