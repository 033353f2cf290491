#!/usr/bin/env python3
"""Draws the toolbar's button pictures and writes them as the 8-bit BMP strip that the resource
script includes as bitmap 515: 20 pictures of 20 by 20 pixels side by side (400 by 20), in the
order of the buttons of toolbar resource 515. The top-left pixel's colour (magenta) is the
transparent colour of the image list.

    make_bitmaps.py <output directory>
"""
import os
import struct
import sys

SIZE = 20
COUNT = 20

# The palette: index 0 is the transparent background.
PALETTE = [
    (255, 0, 255),   # 0 transparent
    (0, 0, 0),       # 1 outline
    (255, 255, 255), # 2 white
    (192, 192, 192), # 3 light grey
    (128, 128, 128), # 4 grey
    (200, 40, 40),   # 5 red
    (40, 150, 60),   # 6 green
    (40, 90, 200),   # 7 blue
    (240, 200, 60),  # 8 yellow
    (150, 90, 40),   # 9 brown
    (120, 190, 240), # 10 light blue
    (250, 230, 170), # 11 cream
]
T, K, W, L, G, R, GR, B, Y, BR, LB, C = range(12)


class Picture:
    def __init__(self):
        self.px = [[T] * SIZE for _ in range(SIZE)]

    def set(self, x, y, c):
        if 0 <= x < SIZE and 0 <= y < SIZE:
            self.px[y][x] = c

    def fill(self, x0, y0, x1, y1, c):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.set(x, y, c)

    def box(self, x0, y0, x1, y1, c, inside=None):
        if inside is not None:
            self.fill(x0, y0, x1, y1, inside)
        for x in range(x0, x1 + 1):
            self.set(x, y0, c)
            self.set(x, y1, c)
        for y in range(y0, y1 + 1):
            self.set(x0, y, c)
            self.set(x1, y, c)

    def line(self, x0, y0, x1, y1, c):
        dx, dy = abs(x1 - x0), -abs(y1 - y0)
        sx, sy = (1 if x0 < x1 else -1), (1 if y0 < y1 else -1)
        err = dx + dy
        while True:
            self.set(x0, y0, c)
            if x0 == x1 and y0 == y1:
                return
            e2 = 2 * err
            if e2 >= dy:
                err += dy
                x0 += sx
            if e2 <= dx:
                err += dx
                y0 += sy

    def circle(self, cx, cy, r, c, inside=None):
        for y in range(SIZE):
            for x in range(SIZE):
                d = (x - cx) ** 2 + (y - cy) ** 2
                if inside is not None and d <= r * r:
                    self.set(x, y, inside)
                if r * r - r <= d <= r * r + r:
                    self.set(x, y, c)

    def plus(self, cx, cy, c):
        self.fill(cx - 3, cy - 1, cx + 3, cy + 1, c)
        self.fill(cx - 1, cy - 3, cx + 1, cy + 3, c)


def envelope(p, x0=2, y0=5, x1=17, y1=15):
    p.box(x0, y0, x1, y1, K, W)
    p.line(x0, y0, (x0 + x1) // 2, (y0 + y1) // 2 + 1, K)
    p.line(x1, y0, (x0 + x1) // 2 + 1, (y0 + y1) // 2 + 1, K)


def calendar(p):
    p.box(2, 3, 17, 17, K, W)
    p.fill(3, 4, 16, 7, R)
    p.set(6, 2, K), p.set(6, 3, K), p.set(13, 2, K), p.set(13, 3, K)
    for y in (10, 13, 16):
        for x in (5, 8, 11, 14):
            if y < 16:
                p.set(x, y, G)


def magnifier(p, cx=8, cy=8):
    p.circle(cx, cy, 5, K, LB)
    p.line(cx + 4, cy + 4, cx + 9, cy + 9, BR)
    p.line(cx + 5, cy + 4, cx + 10, cy + 9, BR)


def house(p):
    p.line(2, 10, 10, 2, R)
    p.line(17, 10, 10, 2, R)
    p.line(3, 10, 10, 3, R)
    p.line(16, 10, 10, 3, R)
    p.box(5, 10, 15, 17, K, C)
    p.box(9, 12, 12, 17, K, BR)


def checklist(p, plus=False):
    p.box(3, 2, 16, 17, K, W)
    for y in (5, 9, 13):
        p.box(5, y, 7, y + 2, K)
        p.line(9, y + 1, 14, y + 1, G)
    p.line(5, 6, 6, 7, GR), p.line(6, 7, 8, 4, GR)
    p.line(5, 10, 6, 11, GR), p.line(6, 11, 8, 8, GR)
    if plus:
        p.plus(15, 15, GR)


def draw(index):
    p = Picture()
    if index == 0:  # main menu: the product's mark (the logo bitmap replaces it)
        p.box(2, 2, 17, 17, K, B)
        p.fill(5, 5, 14, 7, W)
        p.fill(9, 8, 10, 15, W)
    elif index == 1:  # top page
        house(p)
    elif index == 2:  # search box slot: a text field
        p.box(1, 6, 18, 13, K, W)
        p.line(4, 8, 4, 11, K)
    elif index == 3:  # web search: globe and magnifier
        p.circle(8, 8, 6, K, LB)
        p.line(2, 8, 14, 8, B)
        p.line(8, 2, 8, 14, B)
        p.line(13, 13, 18, 18, BR)
        p.line(14, 13, 18, 17, BR)
    elif index == 4:  # bulletin board search: board with a pin
        p.box(2, 3, 17, 15, BR, C)
        p.line(5, 7, 14, 7, G)
        p.line(5, 10, 12, 10, G)
        p.circle(15, 4, 1, R, R)
        p.line(9, 16, 9, 18, BR)
    elif index == 5:  # mail search
        envelope(p, 1, 4, 14, 13)
        magnifier_small(p)
    elif index == 6:  # file search: folder
        p.box(2, 6, 17, 16, K, Y)
        p.fill(3, 4, 8, 6, Y)
        p.line(2, 4, 8, 4, K)
        p.line(2, 4, 2, 6, K)
        magnifier_small(p)
    elif index == 7:  # address book search: card with a person
        p.box(2, 3, 16, 16, K, W)
        p.circle(8, 7, 2, K, C)
        p.fill(5, 11, 11, 14, B)
        magnifier_small(p)
    elif index == 8:  # lists menu: lines
        for y in (4, 9, 14):
            p.fill(2, y, 4, y + 2, B)
            p.fill(6, y + 1, 17, y + 1, K)
    elif index == 9:  # personal month schedule
        calendar(p)
    elif index == 10:  # to-do list
        checklist(p)
    elif index == 11:  # link collection: chain links
        p.box(2, 7, 10, 12, B)
        p.box(9, 7, 17, 12, B)
        p.box(3, 8, 9, 11, B)
        p.box(10, 8, 16, 11, B)
    elif index == 12:  # new items menu: a sheet with a plus
        p.box(3, 2, 14, 17, K, W)
        p.plus(14, 14, GR)
    elif index == 13:  # send mail: envelope with an arrow
        envelope(p, 1, 3, 14, 13)
        p.line(11, 16, 18, 16, GR)
        p.line(15, 13, 18, 16, GR)
        p.line(15, 19, 18, 16, GR)
    elif index == 14:  # phone memo: handset and note
        p.box(9, 2, 17, 12, K, Y)
        p.line(11, 5, 15, 5, K)
        p.line(11, 8, 15, 8, K)
        p.fill(2, 13, 5, 17, K)
        p.fill(12, 13, 15, 17, K)
        p.fill(4, 13, 13, 14, K)
    elif index == 15:  # enter an appointment: calendar with a plus
        calendar(p)
        p.plus(15, 15, GR)
    elif index == 16:  # enter a to-do
        checklist(p, plus=True)
    elif index == 17:  # next appointment: clock
        p.circle(9, 10, 7, K, W)
        p.line(9, 10, 9, 5, K)
        p.line(9, 10, 12, 12, R)
    elif index == 18:  # new arrivals: bell
        p.circle(10, 9, 5, K, Y)
        p.fill(5, 9, 15, 14, Y)
        p.line(4, 14, 16, 14, K)
        p.set(10, 16, K), p.set(10, 17, K)
    else:  # information
        p.circle(10, 10, 8, K, B)
        p.fill(9, 5, 10, 6, W)
        p.fill(9, 8, 10, 15, W)
    return p


def magnifier_small(p):
    p.circle(14, 14, 3, K, LB)
    p.line(16, 16, 19, 19, BR)


def write_bmp(path, pictures):
    width, height = SIZE * len(pictures), SIZE
    stride = (width + 3) & ~3
    rows = []
    for y in range(height - 1, -1, -1):  # bottom-up
        row = bytearray()
        for pic in pictures:
            row.extend(pic.px[y])
        row.extend(b"\0" * (stride - width))
        rows.append(bytes(row))
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE + [(0, 0, 0)] * (256 - len(PALETTE)))
    pixels = b"".join(rows)
    offset = 14 + 40 + len(palette)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, len(pixels), 2835, 2835, 256, 0)
    with open(path, "wb") as f:
        f.write(header + info + palette + pixels)


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    write_bmp(os.path.join(out, "toolbar_515.bmp"), [draw(i) for i in range(COUNT)])


main()
