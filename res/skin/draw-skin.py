#!/usr/bin/env python3
"""Draws the skinned caption's bitmaps into res/skin/ (24-bit BMPs).

Caption bars (active and inactive, 23 and 30 pixels high), the side and
bottom borders, and the close, maximise, restore and minimise buttons in
their normal, hover and pressed looks. Sizes are fixed by the skin's code;
the pictures are plain gradients and glyphs. Run it again after changing a
picture; the BMPs are committed.
"""
import os
import struct
import sys


def bmp(width, height, pixel):
    """A bottom-up 24-bit BMP; pixel(x, y) gives (r, g, b) with y from the top."""
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in range(height - 1, -1, -1):
        row = bytearray()
        for x in range(width):
            r, g, b = pixel(x, y)
            row += bytes((b, g, r))
        row += bytes(stride - len(row))
        rows.append(bytes(row))
    data = b"".join(rows)
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    return header + info + data


def mix(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


EDGE = (0x2C, 0x45, 0x6E)        # the outline of frame and caption
ACTIVE_TOP, ACTIVE_BOTTOM = (0xE4, 0xEE, 0xFB), (0x9C, 0xBE, 0xEA)
INACTIVE_TOP, INACTIVE_BOTTOM = (0x9C, 0xA3, 0xAD), (0x6A, 0x72, 0x7E)


def caption(height, top, bottom):
    # Columns 0-23 and 236-314 carry the rounded ends; 24-235 repeat.
    def pixel(x, y):
        if y == 0:
            return EDGE
        c = mix(top, bottom, y / (height - 1))
        if y == 1:
            c = mix(c, (0xFF, 0xFF, 0xFF), 0.5)
        if x < 3 and y < 3 - x:      # rounded top-left corner
            return EDGE
        if x > 311 and y < x - 311:  # rounded top-right corner
            return EDGE
        return c
    return bmp(315, height, pixel)


def side(width):
    shades = [EDGE, (0x8E, 0xA9, 0xD0), (0x6B, 0x8C, 0xBC), (0x4A, 0x69, 0x98)]
    if width > 4:
        shades = [EDGE, (0x8E, 0xA9, 0xD0), (0x7D, 0x9A, 0xC6), (0x6B, 0x8C, 0xBC),
                  (0x5C, 0x7C, 0xAB), (0x4A, 0x69, 0x98), (0x3C, 0x59, 0x86), EDGE]
    return bmp(width, 58, lambda x, y: shades[x])


def bottom():
    shades = [(0x4A, 0x69, 0x98), (0x6B, 0x8C, 0xBC), (0x8E, 0xA9, 0xD0), EDGE,
              EDGE, EDGE, EDGE, EDGE]
    return bmp(57, 8, lambda x, y: shades[y])


# 19 x 20 buttons: a rounded face with a glyph.
FACES = {
    "normal": ((0xF4, 0xF8, 0xFE), (0xB4, 0xCB, 0xEC)),
    "hover": ((0xFF, 0xFF, 0xFF), (0xD2, 0xE2, 0xF8)),
    "pressed": ((0x8A, 0xA8, 0xD6), (0x6A, 0x8C, 0xC2)),
}
CLOSE_FACES = {
    "normal": ((0xF0, 0x9C, 0x8C), (0xC8, 0x46, 0x32)),
    "hover": ((0xFF, 0xB8, 0xA8), (0xE0, 0x5A, 0x44)),
    "pressed": ((0xB0, 0x3C, 0x2A), (0x8C, 0x28, 0x18)),
}
GLYPH_DARK = (0x1C, 0x2C, 0x48)
GLYPH_LIGHT = (0xFF, 0xFF, 0xFF)


def glyph_close(x, y):
    u, v = x - 5, y - 6
    return 0 <= u <= 8 and 0 <= v <= 8 and (abs(u - v) <= 1 or abs(u + v - 8) <= 1)


def glyph_max(x, y):
    inside = 5 <= x <= 13 and 5 <= y <= 14
    edge = x in (5, 13) or y in (5, 6, 14)
    return inside and edge


def glyph_restore(x, y):
    back = 7 <= x <= 14 and 4 <= y <= 11 and (x in (7, 14) or y in (4, 5, 11))
    front = 4 <= x <= 11 and 8 <= y <= 15 and (x in (4, 11) or y in (8, 9, 15))
    inside_front = 5 <= x <= 10 and 10 <= y <= 14
    return front or (back and not inside_front)


def glyph_min(x, y):
    return 5 <= x <= 12 and 12 <= y <= 14


def button(faces, look, glyph, glyph_colour):
    top, bot = faces[look]

    def pixel(x, y):
        corner = (x in (0, 18)) and (y in (0, 19))
        if corner:
            return EDGE
        if x in (0, 18) or y in (0, 19):
            return EDGE
        if glyph(x, y):
            return glyph_colour
        return mix(top, bot, y / 19)
    return bmp(19, 20, pixel)


def main():
    out = os.path.dirname(os.path.abspath(__file__))
    pictures = {
        "caption-active.bmp": caption(23, ACTIVE_TOP, ACTIVE_BOTTOM),
        "caption-inactive.bmp": caption(23, INACTIVE_TOP, INACTIVE_BOTTOM),
        "caption-tall-active.bmp": caption(30, ACTIVE_TOP, ACTIVE_BOTTOM),
        "caption-tall-inactive.bmp": caption(30, INACTIVE_TOP, INACTIVE_BOTTOM),
        "border.bmp": side(4),
        "border-wide.bmp": side(8),
        "border-bottom.bmp": bottom(),
    }
    for look in ("normal", "hover", "pressed"):
        pictures["close-%s.bmp" % look] = button(CLOSE_FACES, look, glyph_close, GLYPH_LIGHT)
        pictures["max-%s.bmp" % look] = button(FACES, look, glyph_max, GLYPH_DARK)
        pictures["restore-%s.bmp" % look] = button(FACES, look, glyph_restore, GLYPH_DARK)
        pictures["min-%s.bmp" % look] = button(FACES, look, glyph_min, GLYPH_DARK)
    for name, data in pictures.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main())
