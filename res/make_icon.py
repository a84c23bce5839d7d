#!/usr/bin/env python3
"""Draws the program icon (an archive folder closed by a zipper) and writes
Tirvo.ico: a 32x32 and a 16x16 image, 16 colours each. Run from any folder;
the icon is written beside this script."""
import os
import struct

# The standard 16-colour palette, as (red, green, blue).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, OLIVE, SILVER, GRAY, YELLOW, BLUE, WHITE, NAVY = 0, 3, 7, 8, 11, 12, 15, 4
CLEAR = None


def draw(size):
    """Returns rows (top first) of palette indices, CLEAR for transparent."""
    s = size / 32.0
    pixels = [[CLEAR] * size for _ in range(size)]

    def rect(x0, y0, x1, y1, fill, border=None):
        x0, y0, x1, y1 = (int(round(v * s)) for v in (x0, y0, x1, y1))
        for y in range(y0, y1):
            for x in range(x0, x1):
                edge = x in (x0, x1 - 1) or y in (y0, y1 - 1)
                pixels[y][x] = border if edge and border is not None else fill

    rect(2, 5, 13, 10, YELLOW, BLACK)          # the folder's tab
    rect(2, 8, 30, 29, YELLOW, BLACK)          # the folder
    rect(3, 26, 29, 28, OLIVE)                 # its shaded lower edge
    # The zipper: teeth alternating left and right of the middle.
    mid = size // 2
    step = 2 if size >= 32 else 1
    for y in range(int(9 * s), int(26 * s)):
        left = (y // step) % 2 == 0
        pixels[y][mid - 1] = GRAY if left else SILVER
        pixels[y][mid] = SILVER if left else GRAY
    # The slider with its pull tab.
    rect(14, 17, 18, 21, BLUE, NAVY)
    rect(15, 21, 17, 25, BLUE, NAVY)
    if size >= 32:
        pixels[18][15] = WHITE                  # a highlight on the slider
    return pixels


def dib(pixels):
    """The image as an icon stores it: header, palette, colours, mask."""
    size = len(pixels)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in PALETTE)
    colour_row = (size // 2 + 3) // 4 * 4
    mask_row = (size // 8 + 3) // 4 * 4
    colours = b''
    mask = b''
    for row in reversed(pixels):             # bottom-up
        line = bytearray(colour_row)
        bits = bytearray(mask_row)
        for x, index in enumerate(row):
            value = 0 if index is CLEAR else index
            line[x // 2] |= value << (4 if x % 2 == 0 else 0)
            if index is CLEAR:
                bits[x // 8] |= 0x80 >> (x % 8)
        colours += bytes(line)
        mask += bytes(bits)
    return header + palette + colours + mask


def main():
    images = [dib(draw(32)), dib(draw(16))]
    sizes = [32, 16]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip(sizes, images):
        out += struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    out += b''.join(images)
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'Tirvo.ico')
    with open(path, 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main()
