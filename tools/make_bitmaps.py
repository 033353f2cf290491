#!/usr/bin/env python3
"""Draws the toolbar's pictures and writes them in the forms the resource script includes:

  toolbar_515.bmp  bitmap 515: the button strip, 20 pictures of 20 by 20 side by side (400 by 20),
                   in the order of the buttons of toolbar resource 515 (commands.txt names each
                   button's picture), then two spares; 8 bits per pixel
  toolbar_531.bmp  bitmap 531: the same strip, with the top-page picture marked for
                   new arrivals
  logo_104.bmp     bitmap 104: the logo of button 2001, 66 by 20 (the width is string 107)
  icon_200.ico     icon group 200: the product mark at 16, 20, 32 and 70 pixels with 8 bits per
                   pixel, and at 70 pixels again with 32 bits (smooth edges)

The top-left pixel's colour (magenta) is the transparent colour of the image lists; it is never
used inside a picture. One visual language runs through the strip: a search button is its
subject with the same magnifier at the lower right, an entry button its subject with the same
green plus, a list button its subject alone.

    make_bitmaps.py <output directory> <commands.txt> [--preview]

--preview also writes enlarged PNG copies (needs ImageMagick's convert) for a look by eye.
"""
import os
import struct
import subprocess
import sys

from gen_commands import read_commands

SIZE = 20
COUNT = 20
LOGO_WIDTH = 66

# The palette: index 0 is the transparent background; the rest are the pictures' colours.
PALETTE = [
    (255, 0, 255),   # 0 transparent
    (32, 32, 40),    # 1 outline
    (255, 255, 255), # 2 white
    (210, 214, 220), # 3 light grey
    (128, 132, 140), # 4 grey
    (206, 52, 44),   # 5 red
    (46, 160, 70),   # 6 green
    (38, 96, 196),   # 7 blue
    (246, 200, 56),  # 8 yellow
    (150, 96, 48),   # 9 brown
    (140, 196, 240), # 10 light blue
    (252, 238, 196), # 11 cream
    (24, 60, 130),   # 12 dark blue
    (30, 110, 50),   # 13 dark green
    (255, 150, 40),  # 14 orange
    (226, 184, 130), # 15 tan
]
T, K, W, L, G, R, GR, B, Y, BR, LB, C, DB, DG, OR, TN = range(16)


class Picture:
    def __init__(self, width=SIZE, height=SIZE):
        self.w, self.h = width, height
        self.px = [[T] * width for _ in range(height)]

    def set(self, x, y, c):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y][x] = c

    def get(self, x, y):
        return self.px[y][x]

    def fill(self, x0, y0, x1, y1, c):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.set(x, y, c)

    def hline(self, x0, x1, y, c):
        self.fill(x0, y, x1, y, c)

    def vline(self, x, y0, y1, c):
        self.fill(x, y0, x, y1, c)

    def box(self, x0, y0, x1, y1, c, inside=None):
        if inside is not None:
            self.fill(x0, y0, x1, y1, inside)
        self.hline(x0, x1, y0, c)
        self.hline(x0, x1, y1, c)
        self.vline(x0, y0, y1, c)
        self.vline(x1, y0, y1, c)

    def rounded(self, x0, y0, x1, y1, c, inside=None):
        """A box with its four corner pixels cut off."""
        self.box(x0, y0, x1, y1, c, inside)
        for x, y in ((x0, y0), (x1, y0), (x0, y1), (x1, y1)):
            self.set(x, y, T)
        for x, y in ((x0 + 1, y0 + 1), (x1 - 1, y0 + 1), (x0 + 1, y1 - 1), (x1 - 1, y1 - 1)):
            self.set(x, y, c)

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

    def disc(self, cx, cy, r, c, inside=None):
        """A circle of radius r around the pixel centre (cx, cy); half-integer centres allowed."""
        for y in range(self.h):
            for x in range(self.w):
                d = ((x - cx) ** 2 + (y - cy) ** 2) ** 0.5
                if inside is not None and d <= r - 0.5:
                    self.set(x, y, inside)
                elif r - 0.5 < d <= r + 0.5:
                    self.set(x, y, c)

    def paste(self, other, dx, dy):
        for y in range(other.h):
            for x in range(other.w):
                if other.px[y][x] != T:
                    self.set(x + dx, y + dy, other.px[y][x])


# ---- shared marks -------------------------------------------------------------------------

def magnifier(p):
    """The search mark, the same on every search button: a lens at the lower right."""
    p.disc(13.5, 12.5, 3.5, K, LB)
    p.set(12, 11, W)
    p.line(16, 15, 19, 18, K)
    p.line(17, 15, 19, 17, K)
    p.line(16, 16, 18, 18, K)


def plus(p):
    """The entry mark, the same on every entry button: a green plus at the lower right."""
    p.fill(12, 14, 19, 17, W)
    p.fill(14, 12, 17, 19, W)
    p.fill(13, 15, 18, 16, GR)
    p.fill(15, 13, 16, 18, GR)


# ---- subjects -----------------------------------------------------------------------------

def mark(p, x0=1, y0=1, x1=18, y1=18):
    """The product mark: a blue rounded square with a white T."""
    p.rounded(x0, y0, x1, y1, DB, B)
    w = x1 - x0
    p.fill(x0 + w // 4, y0 + 3, x1 - w // 4, y0 + 5, W)
    p.fill((x0 + x1) // 2 - 1, y0 + 6, (x0 + x1) // 2 + 1, y1 - 3, W)


def house(p):
    for i in range(8):
        p.hline(9 - i, 10 + i, 2 + i, R)
    p.line(1, 10, 9, 2, K)
    p.line(18, 10, 10, 2, K)
    p.box(4, 10, 15, 18, K, C)
    p.box(8, 13, 11, 18, K, BR)
    p.set(10, 16, Y)


def envelope(p, x0, y0, x1, y1):
    p.box(x0, y0, x1, y1, K, W)
    mid = (x0 + x1) // 2
    p.line(x0 + 1, y0 + 1, mid, y0 + (y1 - y0) // 2 + 1, K)
    p.line(x1 - 1, y0 + 1, mid + 1, y0 + (y1 - y0) // 2 + 1, K)


def calendar(p):
    p.box(1, 3, 17, 17, K, W)
    p.fill(2, 4, 16, 7, R)
    for x in (5, 13):
        p.fill(x, 1, x, 4, K)
    for y in (10, 13, 16):
        for x in (4, 7, 10, 13):
            if not (y == 16 and x > 7):
                p.fill(x, y - 1, x + 1, y, L if (x, y) != (7, 13) else B)


def checklist(p):
    p.box(2, 1, 15, 18, K, W)
    for y in (4, 9, 14):
        p.box(4, y, 6, y + 2, K, W)
        p.hline(8, 13, y + 1, G)
    for y in (4, 9):
        p.set(4, y + 1, GR)
        p.set(5, y + 2, GR)
        p.line(5, y + 2, 7, y - 1, GR)


def ellipse(p, cx, cy, rx, ry, c):
    """An ellipse outline around (cx, cy)."""
    for y in range(p.h):
        for x in range(p.w):
            d = ((x - cx) / (rx + 0.5)) ** 2 + ((y - cy) / (ry + 0.5)) ** 2
            inner = ((x - cx) / max(rx - 0.5, 0.1)) ** 2 + ((y - cy) / max(ry - 0.5, 0.1)) ** 2
            if d <= 1 < inner:
                p.set(x, y, c)


def globe(p):
    p.disc(8.5, 8.5, 7, DB, LB)
    ellipse(p, 8.5, 8.5, 3, 7, B)
    p.hline(2, 15, 8, B)
    p.hline(2, 15, 9, B)
    p.hline(4, 13, 4, B)
    p.hline(4, 13, 13, B)
    p.disc(8.5, 8.5, 7, DB)


def board(p):
    p.box(1, 2, 16, 14, BR, C)
    p.box(2, 3, 15, 13, TN)
    p.fill(4, 5, 9, 8, Y)
    p.fill(10, 7, 13, 11, LB)
    p.set(6, 5, R)
    p.set(11, 7, R)
    p.vline(3, 15, 18, BR)
    p.vline(14, 15, 18, BR)


def folder(p):
    p.fill(1, 4, 7, 5, OR)
    p.hline(1, 6, 3, K)
    p.box(1, 5, 16, 16, K, Y)
    p.hline(2, 15, 6, W)


def card(p):
    p.box(1, 2, 16, 16, K, W)
    p.fill(2, 3, 15, 4, B)
    p.disc(6, 8.5, 2, K, TN)
    p.fill(3, 12, 9, 15, B)
    p.hline(11, 14, 8, G)
    p.hline(11, 14, 11, G)


def bullet_list(p):
    for y in (3, 9, 15):
        p.fill(1, y, 3, y + 2, B)
        p.hline(6, 18, y + 1, K)


def chain(p):
    # Two links of a chain, the right one passing through the left one.
    def link(x0, y0, x1, y1):
        p.rounded(x0, y0, x1, y1, DB)
        p.rounded(x0 + 1, y0 + 1, x1 - 1, y1 - 1, B)
        p.fill(x0 + 2, y0 + 2, x1 - 2, y1 - 2, T)
    link(0, 5, 11, 13)
    link(8, 7, 19, 15)
    # Where the left link lies in front again.
    p.fill(10, 8, 11, 12, B)
    p.vline(11, 8, 12, DB)
    p.vline(9, 8, 12, T)


def sheet(p):
    p.box(3, 1, 14, 18, K, W)
    for y in (4, 7, 10):
        p.hline(5, 12, y, G)


def phone(p):
    # A desk telephone: handset on a body with a dial.
    p.fill(2, 3, 16, 5, K)
    p.fill(2, 6, 4, 7, K)
    p.fill(14, 6, 16, 7, K)
    p.box(4, 8, 14, 16, K, R)
    p.disc(9, 12, 2, K, W)
    p.set(9, 12, K)


def clock(p):
    p.disc(9.5, 9.5, 8, K, W)
    for x, y in ((9, 3), (10, 3), (16, 9), (16, 10), (9, 16), (10, 16), (3, 9), (3, 10)):
        p.set(x, y, G)
    p.vline(9, 5, 10, K)
    p.line(10, 10, 13, 12, R)
    p.set(9, 10, K)


def bell(p):
    p.disc(9.5, 8, 5, K, Y)
    p.fill(4, 8, 15, 14, Y)
    p.vline(4, 8, 14, K)
    p.vline(15, 8, 14, K)
    p.hline(2, 17, 15, K)
    p.fill(9, 16, 10, 17, K)
    p.fill(9, 2, 10, 2, K)


def info(p):
    p.disc(9.5, 9.5, 8, DB, B)
    p.fill(9, 4, 10, 5, W)
    p.fill(8, 8, 10, 8, W)
    p.fill(9, 9, 10, 14, W)
    p.fill(8, 15, 11, 15, W)


def new_badge(p):
    """New arrivals: a yellow star with a red rim at the upper right."""
    for y, (a, b) in enumerate([(15, 15), (14, 16), (11, 19), (12, 18), (13, 17), (12, 18), (12, 13)]):
        p.hline(a, b, y, R)
    p.hline(15, 15, 1, Y)
    p.hline(14, 16, 2, Y)
    p.hline(13, 17, 3, Y)
    p.hline(14, 16, 4, Y)
    p.set(17, 6, R)


def text_field(p):
    p.box(0, 5, 19, 14, K, W)
    p.vline(3, 7, 12, K)


def both(*parts):
    return lambda p: [part(p) for part in parts]


# The drawings by the names commands.txt gives its buttons.
DRAWINGS = {
    "mark": mark,  # the main menu (the logo replaces it on the toolbar)
    "house": house,  # the top page
    "text_field": text_field,  # the search box's place
    "search_web": both(globe, magnifier),
    "search_board": both(board, magnifier),
    "search_mail": both(lambda p: envelope(p, 0, 3, 15, 13), magnifier),
    "search_files": both(folder, magnifier),
    "search_addresses": both(card, magnifier),
    "lists": bullet_list,  # the lists menu
    "month_schedule": calendar,
    "todo_list": checklist,
    "links": chain,
    "new_item": both(sheet, plus),  # the new-item menu
    "new_mail": both(lambda p: envelope(p, 0, 3, 15, 13), plus),
    "new_phone_memo": both(phone, plus),
    "new_appointment": both(calendar, plus),
    "new_todo": both(checklist, plus),
    "clock": clock,  # the next appointment
}
# Spare pictures after the buttons': new arrivals and information.
SPARES = [bell, info]


def strip(names, alternate=False):
    pictures = []
    for draw in [DRAWINGS[n] for n in names] + SPARES:
        p = Picture()
        draw(p)
        pictures.append(p)
    if alternate:
        new_badge(pictures[names.index("house")])
    return pictures


# ---- the logo -----------------------------------------------------------------------------

# A 5-wide, 7-high type for the word mark; "#" is ink.
GLYPHS = {
    "T": ["#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."],
    "a": [".....", ".....", ".###.", "....#", ".####", "#...#", ".####"],
    "v": [".....", ".....", "#...#", "#...#", "#...#", ".#.#.", "..#.."],
    "e": [".....", ".....", ".###.", "#...#", "#####", "#....", ".###."],
    "l": [".##..", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."],
}


def logo():
    p = Picture(LOGO_WIDTH, SIZE)
    mark(p, 0, 1, 17, 18)
    x = 21
    for ch in "Tavelle":
        rows = GLYPHS[ch]
        for dy, row in enumerate(rows):
            for dx, cell in enumerate(row):
                if cell == "#":
                    # Bold: each ink pixel also fills its right neighbour.
                    p.set(x + dx, 6 + dy, DB)
                    p.set(x + dx + 1, 6 + dy, DB)
        x += 6 if ch != "l" else 5
    p.hline(21, min(x, LOGO_WIDTH - 1), 15, OR)
    return p


# ---- the icon -----------------------------------------------------------------------------

def mark_coverage(size, sub=4):
    """The product mark drawn by geometry at any size: per pixel a colour index and how much of
    the pixel it covers (0..1), from sub x sub samples."""
    def sample(u, v):  # u, v in 0..1
        m = 0.04
        r = 0.2
        if not (m <= u <= 1 - m and m <= v <= 1 - m):
            return T
        cu = min(max(u, m + r), 1 - m - r)
        cv = min(max(v, m + r), 1 - m - r)
        d = ((u - cu) ** 2 + (v - cv) ** 2) ** 0.5
        if d > r:
            return T
        if d > r - 0.06 or u < m + 0.06 or u > 1 - m - 0.06 or v < m + 0.06 or v > 1 - m - 0.06:
            return DB
        if 0.22 <= u <= 0.78 and 0.2 <= v <= 0.34:
            return W
        if 0.42 <= u <= 0.58 and 0.34 <= v <= 0.82:
            return W
        return B

    pixels = []
    for y in range(size):
        row = []
        for x in range(size):
            counts = {}
            for sy in range(sub):
                for sx in range(sub):
                    c = sample((x + (sx + 0.5) / sub) / size, (y + (sy + 0.5) / sub) / size)
                    counts[c] = counts.get(c, 0) + 1
            row.append(counts)
        pixels.append(row)
    return pixels, sub * sub


def icon_image_8bpp(size):
    pixels, n = mark_coverage(size)
    rows = []
    for row in pixels:
        out = []
        for counts in row:
            ink = n - counts.get(T, 0)
            if ink * 2 < n:
                out.append(T)
            else:
                out.append(max((c for c in counts if c != T), key=lambda c: counts[c]))
        rows.append(out)
    return rows


def icon_image_32bpp(size):
    pixels, n = mark_coverage(size)
    rows = []
    for row in pixels:
        out = []
        for counts in row:
            ink = n - counts.get(T, 0)
            if ink == 0:
                out.append((0, 0, 0, 0))
                continue
            r = g = b = 0
            for c, k in counts.items():
                if c == T:
                    continue
                cr, cg, cb = PALETTE[c]
                r, g, b = r + cr * k, g + cg * k, b + cb * k
            out.append((r // ink, g // ink, b // ink, 255 * ink // n))
        rows.append(out)
    return rows


# ---- files --------------------------------------------------------------------------------

def palette_bytes():
    colours = PALETTE + [(0, 0, 0)] * (256 - len(PALETTE))
    return b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in colours)


def dib_8bpp(rows, extra_height=1):
    """BITMAPINFOHEADER, palette and bottom-up 8-bit rows (height times extra_height in the
    header: an icon's header counts its mask too)."""
    height, width = len(rows), len(rows[0])
    stride = (width + 3) & ~3
    pixels = b"".join(bytes(r) + b"\0" * (stride - width) for r in reversed(rows))
    info = struct.pack("<IiiHHIIiiII", 40, width, height * extra_height, 1, 8, 0, len(pixels), 2835, 2835,
                       256, 0)
    return info, palette_bytes(), pixels


def write_bmp(path, picture_rows):
    info, palette, pixels = dib_8bpp(picture_rows)
    offset = 14 + len(info) + len(palette)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    with open(path, "wb") as f:
        f.write(header + info + palette + pixels)


def join(pictures):
    return [sum((p.px[y] for p in pictures), []) for y in range(SIZE)]


def and_mask(opaque):
    """1 bit per pixel, set where the picture is transparent; rows padded to 32 bits."""
    height, width = len(opaque), len(opaque[0])
    stride = ((width + 31) // 32) * 4
    out = bytearray()
    for row in reversed(opaque):
        bits = bytearray(stride)
        for x, solid in enumerate(row):
            if not solid:
                bits[x // 8] |= 0x80 >> (x % 8)
        out += bits
    return bytes(out)


def icon_entry_8bpp(size):
    rows = icon_image_8bpp(size)
    info, palette, pixels = dib_8bpp(rows, extra_height=2)
    # The mask does the transparency; the colour bits there are black.
    pixels = b"".join(bytes(0 if c == T else c for c in r) + b"\0" * (((size + 3) & ~3) - size)
                      for r in reversed(rows))
    mask = and_mask([[c != T for c in r] for r in rows])
    return 8, info + palette + pixels + mask


def icon_entry_32bpp(size):
    rows = icon_image_32bpp(size)
    pixels = b"".join(struct.pack("<BBBB", b, g, r, a) for row in reversed(rows) for (r, g, b, a) in row)
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(pixels), 0, 0, 0, 0)
    mask = and_mask([[a > 0 for (_, _, _, a) in r] for r in rows])
    return 32, info + pixels + mask


def write_ico(path, entries):
    """entries: (size, bit count, image bytes)."""
    header = struct.pack("<HHH", 0, 1, len(entries))
    offset = 6 + 16 * len(entries)
    directory = b""
    images = b""
    for size, bits, data in entries:
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, bits, len(data), offset + len(images))
        images += data
    with open(path, "wb") as f:
        f.write(header + directory + images)


def main():
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    out, names = args[0], read_commands(args[1]).pictures()
    if len(names) + len(SPARES) != COUNT or any(n not in DRAWINGS for n in names):
        sys.exit("make_bitmaps.py: the buttons' pictures are %r; known: %s" % (names, ", ".join(DRAWINGS)))
    os.makedirs(out, exist_ok=True)
    outputs = {
        "toolbar_515.bmp": join(strip(names)),
        "toolbar_531.bmp": join(strip(names, alternate=True)),
        "logo_104.bmp": logo().px,
    }
    for name, rows in outputs.items():
        write_bmp(os.path.join(out, name), rows)
    entries = [(s,) + icon_entry_8bpp(s) for s in (16, 20, 32, 70)] + [(70,) + icon_entry_32bpp(70)]
    write_ico(os.path.join(out, "icon_200.ico"), entries)
    if "--preview" in sys.argv:
        for name in outputs:
            src = os.path.join(out, name)
            subprocess.run(["convert", src, "-scale", "800%", src[:-4] + "_preview.png"], check=True)
        subprocess.run(["convert", os.path.join(out, "icon_200.ico"), "-scale", "400%",
                        os.path.join(out, "icon_200_preview.png")], check=True)


main()
