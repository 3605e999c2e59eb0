#!/usr/bin/env python3
"""Draws the floating drop window's pictures into res/:

- dropwin.bmp (bitmap 174): a yellow folder under a sky-blue ground with a
  green arrow pointing into it; the window stretches it over itself.
- dropwin.avi (animation 156): the arrow falling into the folder, frame by
  frame, in the size of the window's client area, where the animation
  control shows it while dropped files are compressed.

The clip is an uncompressed AVI with 24-bit BOTTOM-UP frames: the
animation control draws those everywhere (top-down raw frames open but
draw nothing under Wine). Run it again after changing a picture; the
files are committed.
"""
import os
import struct

# The window (36 x 33 pixels with its 8-point font) paints the bitmap at
# 4, 4 in its outer width - 6 and height - 8: drawn that size, it is not
# stretched.
BITMAP_SIZE = (30, 25)
# The client area, and where it lies on the bitmap: the clip's frames are
# that part of the picture, so the arrow falls where the bitmap shows it.
CLIP_SIZE = (26, 23)
CLIP_OFFSET = (1, 1)
CLIP_FRAMES = 8
CLIP_RATE = 8  # frames per second

SKY_TOP = (0xE8, 0xF4, 0xFF)
SKY_BOTTOM = (0x8C, 0xBC, 0xEC)
FOLDER = (0xF5, 0xC8, 0x42)
FOLDER_FRONT = (0xFB, 0xDC, 0x6E)
FOLDER_EDGE = (0x9A, 0x6A, 0x10)
ARROW = (0x2E, 0xA8, 0x48)
ARROW_EDGE = (0x12, 0x5A, 0x22)


def blank(w, h):
    rows = []
    for y in range(h):
        t = y / max(h - 1, 1)
        c = tuple(round(a + (b - a) * t) for a, b in zip(SKY_TOP, SKY_BOTTOM))
        rows.append([c] * w)
    return rows


def fill(img, x0, y0, x1, y1, colour):
    """Fills [x0, x1) x [y0, y1), clipped to the picture."""
    h, w = len(img), len(img[0])
    for y in range(max(y0, 0), min(y1, h)):
        for x in range(max(x0, 0), min(x1, w)):
            img[y][x] = colour


def frame(img, x0, y0, x1, y1, colour):
    fill(img, x0, y0, x1, y0 + 1, colour)
    fill(img, x0, y1 - 1, x1, y1, colour)
    fill(img, x0, y0, x0 + 1, y1, colour)
    fill(img, x1 - 1, y0, x1, y1, colour)


def folder_back(img):
    """The folder's back and tab, behind the arrow."""
    h, w = len(img), len(img[0])
    top = h * 11 // 20
    fill(img, 2, top - 3, w * 2 // 5, top, FOLDER)
    frame(img, 2, top - 3, w * 2 // 5, top + 1, FOLDER_EDGE)
    fill(img, 2, top, w - 2, h - 2, FOLDER)
    frame(img, 2, top, w - 2, h - 2, FOLDER_EDGE)


def folder_front(img):
    """The folder's front flap, over the arrow's lower part."""
    h, w = len(img), len(img[0])
    top = h * 11 // 20 + 3
    fill(img, 2, top, w - 2, h - 2, FOLDER_FRONT)
    frame(img, 2, top, w - 2, h - 2, FOLDER_EDGE)


def arrow(img, tip_y):
    """A downward arrow whose point is at row tip_y, centred."""
    w = len(img[0])
    cx = w // 2
    head = max(w // 5, 3)
    shaft = max(w // 10, 1)
    length = len(img) // 2
    # Shaft, edged.
    fill(img, cx - shaft - 1, tip_y - length, cx + shaft + 1, tip_y - head + 1, ARROW_EDGE)
    fill(img, cx - shaft, tip_y - length + 1, cx + shaft, tip_y - head + 1, ARROW)
    # Head: rows narrowing to the point.
    for i in range(head + 1):
        y = tip_y - i
        half = i
        fill(img, cx - half - 1, y, cx + half + 1, y + 1, ARROW_EDGE)
        if half:
            fill(img, cx - half, y, cx + half, y + 1, ARROW)


def picture(w, h, tip_y):
    img = blank(w, h)
    folder_back(img)
    arrow(img, tip_y)
    folder_front(img)
    return img


def dib_rows(img):
    """24-bit BGR rows, bottom row first, each padded to four bytes."""
    w = len(img[0])
    pad = b"\0" * ((4 - (w * 3) % 4) % 4)
    out = bytearray()
    for row in reversed(img):
        for r, g, b in row:
            out += bytes((b, g, r))
        out += pad
    return bytes(out)


def info_header(w, h, size):
    return struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, size, 0, 0, 0, 0)


def bmp_bytes(img):
    pixels = dib_rows(img)
    w, h = len(img[0]), len(img)
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(pixels), 0, 0, 14 + 40)
    return header + info_header(w, h, len(pixels)) + pixels


def chunk(fourcc, data):
    return fourcc + struct.pack("<I", len(data)) + data + (b"\0" if len(data) % 2 else b"")


def riff_list(kind, fourcc, data):
    return chunk(kind, fourcc + data)


def avi_bytes(frames):
    w, h = len(frames[0][0]), len(frames[0])
    datas = [dib_rows(f) for f in frames]
    size = len(datas[0])
    avih = struct.pack("<14I", 1000000 // CLIP_RATE, size * CLIP_RATE, 0, 0x10, len(frames), 0, 1, size,
                       w, h, 0, 0, 0, 0)
    strh = struct.pack("<4s4sIHHIIIIIIIIhhhh", b"vids", b"DIB ", 0, 0, 0, 0, 1, CLIP_RATE, 0, len(frames),
                       size, 0xFFFFFFFF, 0, 0, 0, w, h)
    strl = riff_list(b"LIST", b"strl", chunk(b"strh", strh) + chunk(b"strf", info_header(w, h, size)))
    hdrl = riff_list(b"LIST", b"hdrl", chunk(b"avih", avih) + strl)
    movi_body = b""
    index = b""
    for d in datas:
        # Offsets count from the "movi" fourcc.
        index += struct.pack("<4sIII", b"00db", 0x10, 4 + len(movi_body), len(d))
        movi_body += chunk(b"00db", d)
    movi = riff_list(b"LIST", b"movi", movi_body)
    return riff_list(b"RIFF", b"AVI ", hdrl + movi + chunk(b"idx1", index))


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    bw, bh = BITMAP_SIZE
    with open(os.path.join(root, "res", "dropwin.bmp"), "wb") as f:
        f.write(bmp_bytes(picture(bw, bh, bh * 11 // 20 + 2)))
    cw, ch = CLIP_SIZE
    ox, oy = CLIP_OFFSET
    rest = bh * 11 // 20 + 2
    start = bh // 3
    tips = [start + (rest - start) * i // (CLIP_FRAMES - 1) for i in range(CLIP_FRAMES)]
    frames = [[row[ox:ox + cw] for row in picture(bw, bh, t)[oy:oy + ch]] for t in tips]
    with open(os.path.join(root, "res", "dropwin.avi"), "wb") as f:
        f.write(avi_bytes(frames))


if __name__ == "__main__":
    main()
