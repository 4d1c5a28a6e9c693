#!/usr/bin/env python3
"""Draws Velluma's icons and writes them as .ico files (32-bit with AND mask).

Usage: make_icons.py OUTPUT_DIR
No imaging library: a tiny RGBA canvas with the few shapes the art needs.
"""
import os
import struct
import sys

BLUE = (0x2C, 0x78, 0xDA, 255)
DARK = (0x20, 0x20, 0x28, 255)
GREY = (0x80, 0x86, 0x90, 255)
LIGHT = (0xE8, 0xEE, 0xF6, 255)
WHITE = (255, 255, 255, 255)
GREEN = (0x3C, 0xA0, 0x50, 255)
SKY = (0x9C, 0xC8, 0xF0, 255)
RED = (0xD0, 0x30, 0x30, 255)

# 5x7 glyphs for the letters on the formatting buttons.
GLYPHS = {
    "B": ["1111.", "1...1", "1...1", "1111.", "1...1", "1...1", "1111."],
    "I": [".111.", "..1..", "..1..", "..1..", "..1..", "..1..", ".111."],
    "U": ["1...1", "1...1", "1...1", "1...1", "1...1", "1...1", ".111."],
    "V": ["1...1", "1...1", "1...1", "1...1", ".1.1.", ".1.1.", "..1.."],
}


class Canvas:
    def __init__(self, size):
        self.size = size
        self.px = [[(0, 0, 0, 0)] * size for _ in range(size)]

    def put(self, x, y, c):
        if 0 <= x < self.size and 0 <= y < self.size:
            self.px[y][x] = c

    def rect(self, x0, y0, x1, y1, c):
        for y in range(y0, y1):
            for x in range(x0, x1):
                self.put(x, y, c)

    def frame(self, x0, y0, x1, y1, c, t=1):
        self.rect(x0, y0, x1, y0 + t, c)
        self.rect(x0, y1 - t, x1, y1, c)
        self.rect(x0, y0, x0 + t, y1, c)
        self.rect(x1 - t, y0, x1, y1, c)

    def disc(self, cx, cy, r, c):
        for y in range(self.size):
            for x in range(self.size):
                if (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2 <= r * r:
                    self.put(x, y, c)

    def ring(self, cx, cy, r, t, c):
        for y in range(self.size):
            for x in range(self.size):
                d = ((x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2) ** 0.5
                if r - t <= d <= r:
                    self.put(x, y, c)

    def glyph(self, ch, x0, y0, scale, c, slant=0):
        for row, line in enumerate(GLYPHS[ch]):
            shift = (slant * (6 - row)) // 6
            for col, bit in enumerate(line):
                if bit == "1":
                    self.rect(x0 + shift + col * scale, y0 + row * scale,
                              x0 + shift + (col + 1) * scale, y0 + (row + 1) * scale, c)

    def line(self, x0, y0, x1, y1, c, t=1):
        steps = max(abs(x1 - x0), abs(y1 - y0), 1)
        for i in range(steps + 1):
            x = x0 + (x1 - x0) * i / steps
            y = y0 + (y1 - y0) * i / steps
            self.rect(int(x), int(y), int(x) + t, int(y) + t, c)


def ico_bytes(canvases):
    """An .ico holding one 32-bit image per canvas."""
    header = struct.pack("<HHH", 0, 1, len(canvases))
    entries, blobs = b"", b""
    offset = 6 + 16 * len(canvases)
    for cv in canvases:
        n = cv.size
        bih = struct.pack("<IiiHHIIiiII", 40, n, n * 2, 1, 32, 0, 0, 0, 0, 0, 0)
        pixels = b"".join(struct.pack("<BBBB", b, g, r, a)
                          for row in reversed(cv.px) for (r, g, b, a) in row)
        mask_row = ((n + 31) // 32) * 4
        mask = b""
        for row in reversed(cv.px):
            out = bytearray(mask_row)
            for x, (_, _, _, a) in enumerate(row):
                if a == 0:
                    out[x // 8] |= 0x80 >> (x % 8)
            mask += bytes(out)
        blob = bih + pixels + mask
        entries += struct.pack("<BBBBHHII", n % 256, n % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
        blobs += blob
    return header + entries + blobs


def velluma(n):
    """The accessory: a blue page with a folded corner and text lines."""
    c = Canvas(n)
    m = max(1, n // 16)
    c.rect(2 * m, m, n - 3 * m, n - m, WHITE)
    c.frame(2 * m, m, n - 3 * m, n - m, BLUE, max(1, m))
    for i in range(4):
        y = 4 * m + i * 3 * m
        c.rect(4 * m, y, n - 5 * m, y + max(1, m), GREY)
    c.disc(n - 4 * m, n - 4 * m, 3.5 * m, BLUE)
    c.line(n - 6 * m, n - 4 * m, n - 2 * m, n - 4 * m, WHITE, max(1, m))
    return c


def letter(ch, slant=0, underline=False):
    c = Canvas(16)
    c.glyph(ch, 4, 1, 2 if ch != "I" else 2, DARK, slant)
    if underline:
        c.rect(3, 15, 13, 16, DARK)
    return c


def align(kind):
    c = Canvas(16)
    widths = [12, 8, 12, 8, 12]
    for i, w in enumerate(widths):
        y = 2 + i * 3
        if kind == "left":
            x = 2
        elif kind == "right":
            x = 14 - w
        else:
            x = 8 - w // 2
        c.rect(x, y, x + w, y + 2, DARK)
    return c


def chain(broken):
    c = Canvas(16)
    c.ring(5.5, 10.5, 4.5, 1.6, BLUE)
    c.ring(10.5, 5.5, 4.5, 1.6, BLUE)
    if broken:
        c.rect(6, 6, 10, 10, (0, 0, 0, 0))
        c.line(11, 11, 15, 15, RED, 2)
    else:
        c.line(5, 10, 10, 5, BLUE, 2)
    return c


def image_align(kind):
    """40x40 art: a small picture and text lines placed as the button says."""
    c = Canvas(40)
    c.rect(0, 0, 40, 40, WHITE)
    c.frame(0, 0, 40, 40, GREY)
    pic = {"left": (3, 4, 19, 18), "right": (21, 4, 37, 18),
           "top": (12, 3, 28, 17), "bottom": (12, 23, 28, 37)}[kind]
    x0, y0, x1, y1 = pic
    c.rect(x0, y0, x1, y1, SKY)
    c.disc(x0 + 4, y0 + 4, 2, WHITE)
    c.line(x0 + 1, y1 - 2, (x0 + x1) // 2, y0 + 6, GREEN, 2)
    c.line((x0 + x1) // 2, y0 + 6, x1 - 2, y1 - 2, GREEN, 2)
    c.frame(x0, y0, x1, y1, DARK)
    for i in range(9):
        y = 4 + i * 4
        if y + 2 >= 38:
            break
        if kind in ("left", "right") and y < 20:
            xs = (21, 37) if kind == "left" else (3, 19)
        elif kind == "top" and y < 19:
            continue
        elif kind == "bottom" and y >= 21:
            continue
        else:
            xs = (3, 37)
        c.rect(xs[0], y, xs[1], y + 2, GREY)
    return c


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    icons = {
        "Velluma.ico": [velluma(16), velluma(32), velluma(48)],
        "editor_small.ico": [velluma(16), velluma(32)],
        "bold.ico": [letter("B")],
        "italic.ico": [letter("I", slant=3)],
        "underline.ico": [letter("U", underline=True)],
        "align_left.ico": [align("left")],
        "align_center.ico": [align("center")],
        "align_right.ico": [align("right")],
        "create_link.ico": [chain(False)],
        "remove_link.ico": [chain(True)],
        "image_left.ico": [image_align("left")],
        "image_right.ico": [image_align("right")],
        "image_top.ico": [image_align("top")],
        "image_bottom.ico": [image_align("bottom")],
    }
    for name, canvases in icons.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(ico_bytes(canvases))


if __name__ == "__main__":
    main()
