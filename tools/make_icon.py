#!/usr/bin/env python3
"""Draws Varnobel's icon and writes it as a Windows .ico file.

    make_icon.py OUTPUT.ico

Two images, 32x32 and 16x16, each with 16 colours (4 bits per pixel, the
standard 16-colour Windows palette) and a transparency mask: the program's
name in two rows of block letters, "VARN" in yellow above "OBEL" in red, with
a black shadow so that the letters stand out on light backgrounds too.
"""
import struct
import sys

# The standard 16-colour Windows palette, as (red, green, blue).
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
BLACK, RED, YELLOW = 0, 9, 11

# Letters 5 wide and 7 high, for the 32x32 image.
LARGE = {
    "V": ["X...X", "X...X", "X...X", "X...X", ".X.X.", ".X.X.", "..X.."],
    "A": [".XXX.", "X...X", "X...X", "XXXXX", "X...X", "X...X", "X...X"],
    "R": ["XXXX.", "X...X", "X...X", "XXXX.", "X.X..", "X..X.", "X...X"],
    "N": ["X...X", "XX..X", "X.X.X", "X.X.X", "X..XX", "X...X", "X...X"],
    "O": [".XXX.", "X...X", "X...X", "X...X", "X...X", "X...X", ".XXX."],
    "B": ["XXXX.", "X...X", "X...X", "XXXX.", "X...X", "X...X", "XXXX."],
    "E": ["XXXXX", "X....", "X....", "XXXX.", "X....", "X....", "XXXXX"],
    "L": ["X....", "X....", "X....", "X....", "X....", "X....", "XXXXX"],
}

# Letters 3 wide and 5 high, for the 16x16 image.
SMALL = {
    "V": ["X.X", "X.X", "X.X", "X.X", ".X."],
    "A": [".X.", "X.X", "XXX", "X.X", "X.X"],
    "R": ["XX.", "X.X", "XX.", "X.X", "X.X"],
    "N": ["X.X", "XXX", "XXX", "X.X", "X.X"],
    "O": ["XXX", "X.X", "X.X", "X.X", "XXX"],
    "B": ["XX.", "X.X", "XX.", "X.X", "XX."],
    "E": ["XXX", "X..", "XX.", "X..", "XXX"],
    "L": ["X..", "X..", "X..", "X..", "XXX"],
}

ROWS = [("VARN", YELLOW), ("OBEL", RED)]


def draw(size, font, bold, scale_y, gap, row_tops):
    """Returns the image as rows of palette indices, None for transparent."""
    pixels = [[None] * size for _ in range(size)]
    glyph_width = len(font["V"][0]) + (1 if bold else 0)
    for (word, colour), top in zip(ROWS, row_tops):
        text_width = len(word) * glyph_width + (len(word) - 1) * gap
        left = (size - text_width) // 2
        ink = set()
        for index, letter in enumerate(word):
            x0 = left + index * (glyph_width + gap)
            for gy, line in enumerate(font[letter]):
                for gx, cell in enumerate(line):
                    if cell != "X":
                        continue
                    for dy in range(scale_y):
                        for dx in range(2 if bold else 1):
                            ink.add((x0 + gx + dx, top + gy * scale_y + dy))
        for x, y in ink:
            shadow = (x + 1, y + 1)
            if shadow not in ink and shadow[0] < size and shadow[1] < size:
                if pixels[shadow[1]][shadow[0]] is None:
                    pixels[shadow[1]][shadow[0]] = BLACK
        for x, y in ink:
            pixels[y][x] = colour
    return pixels


def icon_image(pixels):
    """A BITMAPINFOHEADER, the palette, the colour bits and the mask."""
    size = len(pixels)
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    colour_stride = ((size * 4 + 31) // 32) * 4
    mask_stride = ((size + 31) // 32) * 4
    colour = bytearray()
    mask = bytearray()
    for row in reversed(pixels):  # bottom-up, as bitmaps are stored
        line = bytearray(colour_stride)
        bits = bytearray(mask_stride)
        for x, value in enumerate(row):
            if value is None:
                bits[x // 8] |= 0x80 >> (x % 8)
                value = 0
            line[x // 2] |= value << (4 if x % 2 == 0 else 0)
        colour += line
        mask += bits
    return header + palette + bytes(colour) + bytes(mask)


def main():
    large = icon_image(draw(32, LARGE, bold=True, scale_y=2, gap=2, row_tops=(1, 17)))
    small = icon_image(draw(16, SMALL, bold=False, scale_y=1, gap=1, row_tops=(2, 9)))
    images = [(32, large), (16, small)]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = len(directory) + 16 * len(images)
    entries = b""
    for size, data in images:
        entries += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    with open(sys.argv[1], "wb") as output:
        output.write(directory + entries + b"".join(data for _, data in images))
    return 0


if __name__ == "__main__":
    sys.exit(main())
