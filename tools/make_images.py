#!/usr/bin/env python3
"""Draws the module's two pictures and writes them as Windows resources:
resources/button.bmp (bitmap 200: the toolbar button's raised and pressed
frames side by side, 52 x 26, 16 colours) and resources/quillnet.ico (icon
"QUILLNET", 32 x 32, 16 colours). Run it again after changing a drawing."""
import os
import struct

# The standard 16-colour palette (index: r, g, b).
PALETTE = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
           (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
           (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
BLACK, DARK_RED, LIGHT_GREY, DARK_GREY, YELLOW, WHITE, RED, BLUE = 0, 1, 7, 8, 11, 15, 9, 4


def key_pixels(ox, oy):
    """A key lying on its side: bit to the left, bow (a ring) to the right."""
    px = set()
    for x in range(3, 13):          # shaft
        px.add((x, 11)); px.add((x, 12))
    for x, y in [(3, 13), (3, 14), (4, 13), (4, 14), (4, 15), (3, 15), (7, 13), (7, 14), (8, 13), (8, 14)]:
        px.add((x, y))             # the bit's teeth
    cx, cy = 16.5, 11.5
    for y in range(5, 19):          # the bow: a ring around (18, 11.5)
        for x in range(10, 24):
            d = ((x - cx) ** 2 + (y - cy) ** 2) ** 0.5
            if 2.8 <= d <= 5.0:
                px.add((x, y))
    return {(x + ox, y + oy) for x, y in px}


def button_frame(pressed):
    grid = [[LIGHT_GREY] * 26 for _ in range(26)]
    if pressed:
        for i in range(26):
            grid[0][i] = grid[25][i] = grid[i][0] = grid[i][25] = BLACK
        for i in range(1, 25):
            grid[1][i] = grid[i][1] = DARK_GREY
        shift = (3, 2)
    else:
        for i in range(26):
            grid[0][i] = grid[i][0] = DARK_GREY          # outer line top and left
            grid[25][i] = grid[i][25] = BLACK            # shadow bottom and right
        for i in range(1, 25):
            grid[1][i] = grid[i][1] = WHITE              # highlight inside
            grid[24][i] = grid[i][24] = DARK_GREY        # inner shadow
        grid[25][0] = grid[0][25] = BLACK
        shift = (1, 1)
    for x, y in key_pixels(*shift):
        if 2 <= x <= 23 and 2 <= y <= 23:
            grid[y][x] = BLACK
    return grid


DIGITS = {"3": ["111", "001", "111", "001", "111"], "2": ["111", "001", "111", "100", "111"]}


def icon_picture():
    g = [[None] * 32 for _ in range(32)]   # None: transparent
    for y in range(3, 28):                  # the letter
        for x in range(5, 27):
            g[y][x] = WHITE
    for x in range(5, 27):
        g[3][x] = g[27][x] = BLACK
    for y in range(3, 28):
        g[y][5] = g[y][26] = BLACK
    for y in (8, 11, 14, 17, 20):           # lines of text
        for x in range(8, 19 if y == 8 else 24):
            g[y][x] = DARK_GREY
    for y in range(5, 11):                  # the stamp, top right
        for x in range(19, 25):
            g[y][x] = RED if (y in (5, 10) or x in (19, 24)) else YELLOW
    for x, y in key_pixels(3, 8):           # a grey key lying over the letter
        if 0 <= x < 32 and 0 <= y < 32:
            g[y][x] = DARK_GREY
    for n, ch in enumerate("32"):           # "32" in yellow, lower left
        for dy, row in enumerate(DIGITS[ch]):
            for dx, bit in enumerate(row):
                if bit == "1":
                    x, y = 1 + n * 4 + dx, 26 + dy
                    g[y][x] = YELLOW
        for dy in range(-1, 6):
            for dx in range(-1, 4):
                x, y = 1 + n * 4 + dx, 26 + dy
                if 0 <= x < 32 and 0 <= y < 32 and g[y][x] != YELLOW:
                    g[y][x] = BLACK
    return g


def pack4(rows):
    """Bottom-up rows of 4-bit indices, each row padded to 4 bytes."""
    out = b""
    for row in reversed(rows):
        data = bytearray()
        for i in range(0, len(row), 2):
            hi = row[i]
            lo = row[i + 1] if i + 1 < len(row) else 0
            data.append((hi << 4) | lo)
        while len(data) % 4:
            data.append(0)
        out += bytes(data)
    return out


def palette_bytes():
    return b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)


def write_bmp(path, rows):
    h, w = len(rows), len(rows[0])
    pixels = pack4(rows)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 4, 0, len(pixels), 2835, 2835, 16, 0)
    offset = 14 + 40 + 64
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    with open(path, "wb") as f:
        f.write(header + info + palette_bytes() + pixels)


def write_ico(path, g):
    colour = [[c if c is not None else 0 for c in row] for row in g]
    xor = pack4(colour)
    mask = b""
    for row in reversed(g):
        bits = 0
        for x, c in enumerate(row):
            if c is None:
                bits |= 1 << (31 - x)
        mask += struct.pack(">I", bits)
    info = struct.pack("<IiiHHIIiiII", 40, 32, 64, 1, 4, 0, len(xor) + len(mask), 0, 0, 16, 0)
    image = info + palette_bytes() + xor + mask
    header = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", 32, 32, 16, 0, 1, 4, len(image), 6 + 16)
    with open(path, "wb") as f:
        f.write(header + entry + image)


def main():
    here = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources")
    raised, pressed = button_frame(False), button_frame(True)
    strip = [raised[y] + pressed[y] for y in range(26)]
    write_bmp(os.path.join(here, "button.bmp"), strip)
    write_ico(os.path.join(here, "quillnet.ico"), icon_picture())


if __name__ == "__main__":
    main()
