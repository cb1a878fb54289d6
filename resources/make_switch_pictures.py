#!/usr/bin/env python3
"""Draws the 24 switch pictures as uncompressed 4-bit BMP files.

Normal set SWITCH<n><ON|OFF|UDEF> is 32 x 64, small set SMSW<n><ON|OFF|UDEF> is 16 x 32.
Kind n: in the normal set 1 is the rocker panel and 2 the lever switch, in the small set the
other way round; 3 is the red push button, 4 the red/green push button. An undefined picture
is the kind's picture with grey diagonal hatching.

Each picture is also drawn at twice the size (<name>@2x.bmp) for screens scaled to 150 % and
more: the same drawing, its round parts and hatching made with the finer pixels.

Usage: make_switch_pictures.py [--check] [directory]   (default: this script's directory)
With --check nothing is written; the exit status tells whether the files match the drawing.
"""
import os
import struct
import sys

# The 16-colour palette, as (R, G, B).
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
BLACK, DARKRED, DARKGREEN, SILVER, GREY, RED, GREEN, WHITE = 0, 1, 2, 7, 8, 9, 10, 15

# Letters of the words "on" and "off": a 5 x 7 face for the normal set, 3 x 5 for the small.
FONT_NORMAL = {
    "o": [".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."],
    "n": ["####.", "#...#", "#...#", "#...#", "#...#", "#...#", "#...#"],
    "f": ["..##", ".#..", "####", ".#..", ".#..", ".#..", ".#.."],
}
FONT_SMALL = {
    "o": [".#.", "#.#", "#.#", "#.#", ".#."],
    "n": ["##.", "#.#", "#.#", "#.#", "#.#"],
    "f": [".#", "#.", "##", "#.", "#."],
}


class Picture:
    """Drawn in the pixels of the normal size; `scale` device pixels make one of them."""

    def __init__(self, w, h, fill=SILVER, scale=1):
        self.w, self.h, self.scale = w, h, scale
        self.px = [[fill] * (w * scale) for _ in range(h * scale)]

    def put(self, dx, dy, c):
        """One device pixel."""
        if 0 <= dx < self.w * self.scale and 0 <= dy < self.h * self.scale:
            self.px[dy][dx] = c

    def set(self, x, y, c):
        s = self.scale
        for dy in range(s):
            for dx in range(s):
                self.put(x * s + dx, y * s + dy, c)

    def rect(self, x0, y0, x1, y1, c):
        """Fills the rectangle from (x0, y0) to (x1, y1), both corners included."""
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.set(x, y, c)

    def frame(self, x0, y0, x1, y1, top_left, bottom_right):
        """A one-pixel bevel: light top and left edges, dark bottom and right, or reversed."""
        for x in range(x0, x1 + 1):
            self.set(x, y0, top_left)
            self.set(x, y1, bottom_right)
        for y in range(y0, y1 + 1):
            self.set(x0, y, top_left)
            self.set(x1, y, bottom_right)

    def disc(self, cx, cy, r, c):
        """A filled disc around the pixel centre (cx, cy), which may be a half position."""
        s = self.scale
        for dy in range(self.h * s):
            for dx in range(self.w * s):
                x, y = (dx + 0.5) / s - 0.5, (dy + 0.5) / s - 0.5
                if (x - cx) ** 2 + (y - cy) ** 2 <= r * r:
                    self.put(dx, dy, c)

    def word(self, text, cx, cy, c, font):
        """Writes text centred on (cx, cy)."""
        widths = [len(font[ch][0]) for ch in text]
        total = sum(widths) + len(text) - 1
        height = len(font[text[0]])
        x = cx - total // 2
        y0 = cy - height // 2
        for ch, wd in zip(text, widths):
            for dy, row in enumerate(font[ch]):
                for dx, bit in enumerate(row):
                    if bit == "#":
                        self.set(x + dx, y0 + dy, c)
            x += wd + 1

    def hatch(self, x0, y0, x1, y1, c=GREY, step=4):
        """Grey diagonal hatching over the rectangle."""
        s = self.scale
        for dy in range(y0 * s, (y1 + 1) * s):
            for dx in range(x0 * s, (x1 + 1) * s):
                if (dx + dy) % (step * s) < s:
                    self.put(dx, dy, c)

    def plate(self):
        """The grey plate every picture stands on: silver with a raised edge."""
        self.rect(0, 0, self.w - 1, self.h - 1, SILVER)
        self.frame(0, 0, self.w - 1, self.h - 1, WHITE, BLACK)
        self.frame(1, 1, self.w - 2, self.h - 2, SILVER, GREY)


def rocker_panel(w, h, state, scale):
    p = Picture(w, h, scale=scale)
    p.plate()
    small = w < 32
    font = FONT_SMALL if small else FONT_NORMAL
    m = 2 if small else 4
    x0, x1 = m, w - 1 - m
    y0, y1 = m, h - 1 - m
    mid = h // 2
    halves = [("on", y0, mid - 1, state == "ON"), ("off", mid, y1, state == "OFF")]
    for text, top, bottom, pressed in halves:
        if pressed:
            p.rect(x0, top, x1, bottom, GREY)
            p.frame(x0, top, x1, bottom, BLACK, WHITE)
            colour = RED
        else:
            p.rect(x0, top, x1, bottom, SILVER)
            p.frame(x0, top, x1, bottom, WHITE, BLACK)
            if not small:
                p.frame(x0 + 1, top + 1, x1 - 1, bottom - 1, WHITE, GREY)
            colour = GREY
        p.word(text, w // 2, (top + bottom + 1) // 2, colour, font)
    if state == "UDEF":
        p.hatch(x0 + 1, y0 + 1, x1 - 1, y1 - 1)
    return p


def lever_switch(w, h, state, scale):
    p = Picture(w, h, scale=scale)
    p.plate()
    small = w < 32
    font = FONT_SMALL if small else FONT_NORMAL
    glyph_h = len(font["o"])
    on_y = 2 + glyph_h // 2 + (1 if not small else 0)
    off_y = h - 3 - glyph_h // 2 - (1 if not small else 0)
    on_colour = RED if state == "ON" else BLACK
    off_colour = RED if state == "OFF" else BLACK
    p.word("on", w // 2, on_y, on_colour, font)
    p.word("off", w // 2, off_y, off_colour, font)
    cx, cy = (w - 1) / 2, (h - 1) / 2
    # The bushing: a dark ring with a black hole.
    ring = 7 if not small else 3.6
    p.disc(cx, cy, ring, GREY)
    p.disc(cx, cy, ring - (2 if not small else 1), BLACK)
    # The lever: a bar from the bushing to a knob, up for on, down otherwise.
    up = state == "ON"
    reach = (h // 2 - glyph_h - (9 if not small else 4))
    tip = int(cy - reach) if up else int(cy + reach + 1)
    half = 2 if not small else 1
    lo, hi = (tip, int(cy)) if up else (int(cy) + 1, tip)
    for y in range(lo, hi + 1):
        for x in range(int(cx) - half + 1, int(cx) + half + 1):
            p.set(x, y, WHITE if x <= int(cx) else GREY)
    p.disc(cx, tip, 3.2 if not small else 1.6, WHITE)
    p.set(int(cx) + 1, tip + 1, GREY)
    if state == "UDEF":
        p.hatch(2, 2, w - 3, h - 3)
    return p


def push_button(w, h, state, words, on_colour, scale):
    p = Picture(w, h, scale=scale)
    p.plate()
    small = w < 32
    font = FONT_SMALL if small else FONT_NORMAL
    m = 3 if small else 5
    x0, x1 = m - 1, w - m
    y0, y1 = h // 2 - (w - 2 * m + 2) // 2 - (6 if not small else 3), 0
    y1 = h - 1 - y0
    # A dark bezel round the button.
    p.rect(x0 - 1, y0 - 1, x1 + 1, y1 + 1, BLACK)
    p.frame(x0 - 2, y0 - 2, x1 + 2, y1 + 2, GREY, WHITE)
    colour = on_colour if state == "ON" else (RED if state == "OFF" and words is None
                                             else DARKRED)
    p.rect(x0, y0, x1, y1, colour)
    if not small:
        # Light from the top left on the button's face.
        p.frame(x0, y0, x1, y1, WHITE if state == "ON" else colour, BLACK)
    if words is not None and state != "UDEF":
        p.word(words[state], w // 2, h // 2, WHITE, font)
    if state == "UDEF":
        p.hatch(x0, y0, x1, y1)
    return p


def draw(kind, w, h, state, scale=1):
    if kind == "rocker":
        return rocker_panel(w, h, state, scale)
    if kind == "lever":
        return lever_switch(w, h, state, scale)
    if kind == "redpush":
        return push_button(w, h, state, {"ON": "on", "OFF": "off"}, RED, scale)
    return push_button(w, h, state, None, GREEN, scale)


def bmp_bytes(p):
    w, h = p.w * p.scale, p.h * p.scale
    row_bytes = ((w * 4 + 31) // 32) * 4
    pixels = bytearray()
    for y in range(h - 1, -1, -1):  # bottom-up
        row = bytearray(row_bytes)
        for x in range(w):
            if x % 2 == 0:
                row[x // 2] |= p.px[y][x] << 4
            else:
                row[x // 2] |= p.px[y][x]
        pixels += row
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    offset = 14 + 40 + len(palette)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 4, 0, len(pixels), 2835, 2835, 16, 16)
    head = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return head + info + palette + bytes(pixels)


# (name prefix, width, height, drawing of kinds 1..4)
SETS = [
    ("SWITCH", 32, 64, ["rocker", "lever", "redpush", "redgreenpush"]),
    ("SMSW", 16, 32, ["lever", "rocker", "redpush", "redgreenpush"]),
]
STATES = ["ON", "OFF", "UDEF"]
SCALES = [(1, ""), (2, "@2x")]


def main():
    args = sys.argv[1:]
    check = "--check" in args
    args = [a for a in args if a != "--check"]
    out = args[0] if args else os.path.dirname(os.path.abspath(__file__))
    if not check:
        os.makedirs(out, exist_ok=True)
    stale = []
    for prefix, w, h, kinds in SETS:
        for n, kind in enumerate(kinds, start=1):
            for state in STATES:
                for scale, suffix in SCALES:
                    path = os.path.join(out, f"{prefix}{n}{state}{suffix}.bmp")
                    data = bmp_bytes(draw(kind, w, h, state, scale))
                    if check:
                        try:
                            with open(path, "rb") as f:
                                same = f.read() == data
                        except OSError:
                            same = False
                        if not same:
                            stale.append(path)
                    else:
                        with open(path, "wb") as f:
                            f.write(data)
    for path in stale:
        print("differs from the drawing:", path)
    return 1 if stale else 0


if __name__ == "__main__":
    sys.exit(main())
