#!/usr/bin/env python3
# Draws QCleaver's artwork, both in 16 colours:
#   banner.bmp   211x49 banner shown at the top of the dialogs
#   cleaver.ico  32x32 program icon
# Run it as "python3 res/make-artwork.py" from the repository root (or from
# anywhere: the files are written next to this script). Standard library only;
# the output is the same byte for byte on every run.

import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

# ---------------------------------------------------------------------------
# The 16 colours shared by both pictures.  Index 0 must stay black: the icon's
# transparent pixels are stored as colour 0 under a set AND-mask bit.
PALETTE = [
    (0, 0, 0),        # 0  black
    (12, 22, 52),     # 1  night blue      (background, darkest)
    (18, 38, 86),     # 2  navy
    (26, 58, 120),    # 3  deep blue
    (36, 82, 152),    # 4  blue
    (52, 108, 180),   # 5  bright blue
    (78, 138, 206),   # 6  light blue      (background, lightest)
    (128, 176, 230),  # 7  sky
    (196, 218, 242),  # 8  pale blue
    (255, 255, 255),  # 9  white
    (206, 212, 220),  # 10 silver
    (148, 158, 172),  # 11 steel
    (84, 92, 106),    # 12 dark steel
    (164, 100, 46),   # 13 wood
    (96, 54, 22),     # 14 dark wood
    (244, 184, 56),   # 15 gold
]
BLACK, NIGHT, NAVY, DEEP, BLUE, BRIGHT, LIGHT, SKY, PALE, WHITE, \
    SILVER, STEEL, DARK_STEEL, WOOD, DARK_WOOD, GOLD = range(16)

# Letters used by the sprites below; '.' is transparent.
SPRITE_COLOURS = {
    'k': NIGHT, 'p': PALE, 'W': WHITE,                     # paper
    'S': SILVER, 'T': STEEL, 'O': DARK_STEEL,               # blade
    'H': WOOD, 'D': DARK_WOOD, 'G': GOLD,                   # handle, rivets
}

# ---------------------------------------------------------------------------
# A bold pixel font: capitals are 8 rows high, lower case 6, and row 8 takes
# the tail of the Q.  Stems are two pixels wide, bars one.
FONT = {
    'Q': [".#####.",
          "##...##",
          "##...##",
          "##...##",
          "##...##",
          "##...##",
          "##..###",
          ".#####.",
          ".....##"],
    'C': [".#####",
          "##...#",
          "##....",
          "##....",
          "##....",
          "##....",
          "##...#",
          ".#####",
          "......"],
    'l': ["##",
          "##",
          "##",
          "##",
          "##",
          "##",
          "##",
          "##",
          ".."],
    'e': ["......",
          "......",
          ".####.",
          "##..##",
          "######",
          "##....",
          "##...#",
          ".####.",
          "......"],
    'a': ["......",
          "......",
          ".####.",
          "....##",
          ".#####",
          "##..##",
          "##..##",
          ".#####",
          "......"],
    'v': ["......",
          "......",
          "##..##",
          "##..##",
          "##..##",
          "##..##",
          ".####.",
          "..##..",
          "......"],
    'r': ["......",
          "......",
          "##.###",
          "####..",
          "##....",
          "##....",
          "##....",
          "##....",
          "......"],
}

# Small digits for the numbered pieces of the banner.
DIGITS = {
    '1': [".#.", "##.", ".#.", ".#.", "###"],
    '2': ["##.", "..#", ".#.", "#..", "###"],
    '3': ["##.", "..#", ".#.", "..#", "##."],
}

# A meat cleaver seen from the side: wooden handle on the left, blade with a
# hanging hole on the right, cutting edge along the bottom.
CLEAVER = [
    "..............OOOOOOOOOOOOOOOOOOOOOOO..",
    "............TOWWWWWWWWWWWWWWWWWWWWWWSO.",
    ".DDDDDDDDDDDTOSSSSSSSSSSSSSSSSSSOOSSSSO",
    "DHHHHHHHHHHHTOSSSSSSSSSSSSSSSSSO..OSSSO",
    "DHGHHHGHHHGHTOSSSWSSSSSSSSSSSSSO..OSSSO",
    "DHHHHHHHHHHHTOSSWSSWSSSSSSSSSSSSWWSSSSO",
    "DDDDDDDDDDDDTOSWSSWSSSSSSSSSSSSSSSSSSSO",
    ".DDDDDDDDDDDTOSSSWSSSSSSSSSSSSSSSSSSSSO",
    "............TOSSWSSSSSSSSSSSSSSSSSSSSSO",
    ".............OSSSSSSSSSSSSSSSSSSSSSSSSO",
    ".............OSSSSSSSSSSSSSSSSSSSSSSSSO",
    ".............OSSSSSSSSSSSSSSSSSSSSSSSSO",
    ".............OTTTTTTTTTTTTTTTTTTTTTTTSO",
    ".............OWWWWWWWWWWWWWWWWWWWWWWWO.",
    "..............OOOOOOOOOOOOOOOOOOOOOOO..",
]

# One numbered piece of the cut file: a sheet with a folded corner.  The
# digit is drawn on it afterwards, twice size, into the blank middle.
SHEET = [
    "kkkkkkkkk...",
    "kWWWWWWWkk..",
    "kWWWWWWWkpk.",
    "kWWWWWWWkkkk",
    "kWWWWWWWWWWk",
    "kWWWWWWWWWWk",
    "kWWWWWWWWWWk",
    "kWWWWWWWWWWk",
    "kWWWWWWWWWWk",
    "kWWWWWWWWWWk",
    "kWWWWWWWWWWk",
    "kWWWWWWWWWWk",
    "kWWWWWWWWWWk",
    "kWTTTTTTTTWk",
    "kWWWWWWWWWWk",
    "kkkkkkkkkkkk",
]


# The program icon: a cleaver chopped into a sheet of paper, splitting it in
# two.  '.' pixels are transparent.
ICON = [
    ".......OOOOOOOOOOOOOOO..........",
    "......OWWWWWWWWWWWWWWSO.........",
    "......OSSSSSSSSSSSSSSSOT........",
    "......OSSOOSSSSSSSSSSSOTDDDDDDD.",
    "......OSO..OSSSSWSSSSSOTHHHHHHHD",
    "......OSO..OSSSWSSWSSSOTHGHHHGHD",
    "......OSSWWSSSWSSWSSSSOTHHHHHHHD",
    "......OSSSSSSSSSWSSSSSOTDDDDDDD.",
    ".kkkkkOSSSSSSSSSSSSSSSOT........",
    ".kWWWWOSSSSSSSSSSSSSSSOkkkk.....",
    ".kWWWWOSSSSSSSSSSSSSSSOWWWkk....",
    ".kWTTTOTTTTTTTTTTTTTTTOWWWkpk...",
    ".kWWWWOWWWWWWWWWWWWWWWOTTWkppk..",
    ".kWWWWWOOOOOOOOOOOOOOOWWWWkkkkk.",
    ".kWTTTTTTTTTWk....kWWWWWWWWWWWk.",
    ".kWWWWWWWWWWWk....kWTTTTTTTTTWk.",
    ".kWWWWWWWWWWWk....kWWWWWWWWWWWk.",
    ".kWTTTTTTTTTWk....kWWWWWWWWWWWk.",
    ".kWWWWWWWWWWWk....kWTTTTTTTTTWk.",
    ".kWWWWWWWWWWWk....kWWWWWWWWWWWk.",
    ".kWTTTTTTTTWWk....kWWWWWWWWWWWk.",
    ".kWWWWWWWWWWWk....kWTTTTTTTTTWk.",
    ".kWWWWWWWWWWWk....kWWWWWWWWWWWk.",
    ".kWTTTTTTTTTWk....kWWWWWWWWWWWk.",
    ".kWWWWWWWWWWWk....kWTTTTTTTTTWk.",
    ".kWWWWWWWWWWWk....kWWWWWWWWWWWk.",
    ".kWTTTTTTWWWWk....kWWWWWWWWWWWk.",
    ".kWWWWWWWWWWWk....kWTTTTTWWWWWk.",
    ".kWWWWWWWWWWWk....kWWWWWWWWWWWk.",
    ".kWWWWWWWWWWWk....kWWWWWWWWWWWk.",
    ".kkkkkkkkkkkkk....kWWWWWWWWWWWk.",
    "..................kkkkkkkkkkkkk.",
]


# ---------------------------------------------------------------------------
class Canvas:
    def __init__(self, width, height, colour=BLACK):
        self.width = width
        self.height = height
        self.pixels = [[colour] * width for _ in range(height)]

    def put(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.pixels[y][x] = colour

    def sprite(self, rows, x, y, colours=SPRITE_COLOURS):
        width = len(rows[0])
        for dy, row in enumerate(rows):
            assert len(row) == width, row
            for dx, ch in enumerate(row):
                if ch != '.':
                    self.put(x + dx, y + dy, colours[ch])

    def glyph(self, rows, x, y, scale, colour):
        for dy, row in enumerate(rows):
            for dx, ch in enumerate(row):
                if ch == '#':
                    for sy in range(scale):
                        for sx in range(scale):
                            self.put(x + dx * scale + sx,
                                     y + dy * scale + sy, colour)


# 4x4 ordered-dither thresholds, in sixteenths.
BAYER = [[0, 8, 2, 10],
         [12, 4, 14, 6],
         [3, 11, 1, 9],
         [15, 7, 13, 5]]


def text_width(text, scale):
    return sum((len(FONT[c][0]) + 1) * scale for c in text) - scale


def draw_text(canvas, text, x, y, scale, colour, shadow):
    for dx, dy, c in ((1, 1, shadow), (0, 0, colour)):
        cx = x + dx
        for ch in text:
            canvas.glyph(FONT[ch], cx, y + dy, scale, c)
            cx += (len(FONT[ch][0]) + 1) * scale


# ---------------------------------------------------------------------------
BANNER_W, BANNER_H = 211, 49


def make_banner():
    c = Canvas(BANNER_W, BANNER_H)

    # Background: night blue on the left to light blue on the right, with a
    # slight lift towards the bottom, ordered-dithered between the six blues.
    levels = [NIGHT, NAVY, DEEP, BLUE, BRIGHT, LIGHT]
    for y in range(BANNER_H):
        for x in range(BANNER_W):
            t = 0.85 * x / (BANNER_W - 1) + 0.15 * y / (BANNER_H - 1)
            v = t * (len(levels) - 1) * 16
            step, frac = divmod(int(v), 16)
            # Solid plateaus with a dithered seam between neighbours.
            frac = min(max((frac - 5) * 16 // 6, 0), 16)
            if frac > BAYER[y % 4][x % 4] and step + 1 < len(levels):
                step += 1
            c.pixels[y][x] = levels[step]

    # Everything that matters sits in rows 11..37: the dialogs show only the
    # middle 32 rows or so.
    text = "QCleaver"
    scale = 2
    tw = text_width(text, scale)
    cleaver_w, sheets_w = len(CLEAVER[0]), 3 * len(SHEET[0]) + 2 * 3
    gap1, gap2 = 10, 9
    left = (BANNER_W - (cleaver_w + gap1 + tw + gap2 + sheets_w)) // 2

    c.sprite(CLEAVER, left, 16)

    tx = left + cleaver_w + gap1
    draw_text(c, text, tx, 16, scale, WHITE, NIGHT)

    sx = tx + tw + gap2
    for i, digit in enumerate("123"):
        x = sx + i * (len(SHEET[0]) + 3)
        y = 14 + 3 * i
        c.sprite(SHEET, x, y)
        c.glyph(DIGITS[digit], x + 3, y + 3, 2, NAVY)
    return c


# ---------------------------------------------------------------------------
def dib_rows(canvas):
    """4-bit pixel rows, bottom-up, each padded to a multiple of 4 bytes."""
    stride = (canvas.width * 4 + 31) // 32 * 4
    out = bytearray()
    for row in reversed(canvas.pixels):
        line = bytearray(stride)
        for x, colour in enumerate(row):
            line[x // 2] |= colour << (4 if x % 2 == 0 else 0)
        out += line
    return bytes(out)


def palette_bytes():
    return b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)


def info_header(width, height, image_size, compression=0):
    # BITMAPINFOHEADER: 4 bits per pixel, BI_RGB (0) or BI_RLE4 (2), 16
    # colours used.
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, 4, compression,
                       image_size, 2835, 2835, 16, 0)


def rle4_row(row):
    """One row in BI_RLE4: runs of a pair of colours taking turns, and
    literal stretches (absolute mode) between them."""
    out = bytearray()
    literal = []

    def flush():
        while literal:
            chunk = literal[:255]
            del literal[:255]
            if len(chunk) < 3:  # absolute mode needs three pixels or more
                for colour in chunk:
                    out.extend((1, colour << 4))
                continue
            packed = bytearray()
            for k in range(0, len(chunk), 2):
                low = chunk[k + 1] if k + 1 < len(chunk) else 0
                packed.append(chunk[k] << 4 | low)
            if len(packed) % 2:
                packed.append(0)  # each literal stretch ends on a word
            out.extend((0, len(chunk)))
            out.extend(packed)

    i = 0
    while i < len(row):
        a = row[i]
        b = row[i + 1] if i + 1 < len(row) else a
        j = i
        while j < len(row) and j - i < 255 and row[j] == (a, b)[(j - i) % 2]:
            j += 1
        if j - i >= 4:
            flush()
            out.extend((j - i, a << 4 | b))
            i = j
        else:
            literal.append(a)
            i += 1
    flush()
    return bytes(out)


def rle4_pixels(canvas):
    """Bottom-up rows, each ended by 00 00, the last by 00 01 instead."""
    out = bytearray()
    for row in reversed(canvas.pixels):
        out += rle4_row(row) + b"\0\0"
    out[-2:] = b"\0\1"
    return bytes(out)


def write_bmp(path, canvas):
    # Run-length encoded: half the bytes of the plain rows, in every head
    # part.
    pixels = rle4_pixels(canvas)
    offset = 14 + 40 + 4 * len(PALETTE)
    data = (b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset)
            + info_header(canvas.width, canvas.height, len(pixels), 2)
            + palette_bytes() + pixels)
    with open(path, "wb") as f:
        f.write(data)


def write_ico(path, canvas, transparent):
    """One 32x32 16-colour image; pixels in `transparent` are see-through."""
    w, h = canvas.width, canvas.height
    xor = dib_rows(canvas)
    mask_stride = (w + 31) // 32 * 4
    mask = bytearray()
    for y in reversed(range(h)):
        line = bytearray(mask_stride)
        for x in range(w):
            if (x, y) in transparent:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    image = (info_header(w, 2 * h, len(xor) + len(mask))
             + palette_bytes() + xor + bytes(mask))
    header = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", w % 256, h % 256, 16, 0, 1, 4,
                        len(image), 6 + 16)
    with open(path, "wb") as f:
        f.write(header + entry + image)


def make_icon():
    c = Canvas(32, 32)
    c.sprite(ICON, 0, 0)
    transparent = {(x, y) for y, row in enumerate(ICON)
                   for x, ch in enumerate(row) if ch == '.'}
    return c, transparent


def main():
    write_bmp(os.path.join(HERE, "banner.bmp"), make_banner())
    icon, transparent = make_icon()
    write_ico(os.path.join(HERE, "cleaver.ico"), icon, transparent)


if __name__ == "__main__":
    main()
