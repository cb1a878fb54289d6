#!/usr/bin/env python3
"""Draws the program's icon, a breaker module: a slate case with an amber label strip, four
status lamps (green, green, red, green) and four breaker levers below them, three up (on) and
one down (off).

Writes icon/orvik.svg (the drawing, 256 x 256 units) and icon/orvik-<N>.png for N in SIZES,
rendered from the same shapes with smooth edges.

Usage: make_program_icon.py [--check] [directory]   (default: this script's directory)
With --check nothing is written; the exit status tells whether the files match the drawing
(the PNGs by their pixels, so another zlib may compress them differently).
"""
import math
import os
import struct
import sys
import zlib

SIZES = [16, 24, 32, 48, 64, 128, 256]
CASE_EDGE, CASE, STRIP, SLOT, LEVER = "#1d2329", "#4a5864", "#e8b730", "#15191d", "#f0f0f0"
GREEN, RED = "#00c800", "#e00000"
LAMPS = [GREEN, GREEN, RED, GREEN]
LEVER_UP = [True, True, False, True]
COLUMNS = [62, 106, 150, 194]

# (kind, x0, y0, x1, y1, corner radius, colour); circles as ("circle", cx, cy, r, colour).
def shapes():
    out = [
        ("rect", 16, 32, 240, 224, 26, CASE_EDGE),
        ("rect", 24, 40, 232, 216, 18, CASE),
        ("rect", 40, 56, 216, 96, 8, STRIP),
    ]
    for cx, lamp, up in zip(COLUMNS, LAMPS, LEVER_UP):
        out.append(("circle", cx, 76, 11, lamp))
        out.append(("rect", cx - 16, 112, cx + 16, 200, 6, SLOT))
        top = 118 if up else 158
        out.append(("rect", cx - 11, top, cx + 11, top + 36, 3, LEVER))
    return out


def svg():
    lines = ['<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" '
             'viewBox="0 0 256 256">']
    for s in shapes():
        if s[0] == "circle":
            _, cx, cy, r, c = s
            lines.append(f'  <circle cx="{cx}" cy="{cy}" r="{r}" fill="{c}"/>')
        else:
            _, x0, y0, x1, y1, r, c = s
            lines.append(f'  <rect x="{x0}" y="{y0}" width="{x1 - x0}" height="{y1 - y0}" '
                         f'rx="{r}" fill="{c}"/>')
    lines.append("</svg>")
    return ("\n".join(lines) + "\n").encode()


def distance(s, x, y):
    """Signed distance, in drawing units, from (x, y) to the shape's edge (negative inside)."""
    if s[0] == "circle":
        _, cx, cy, r, _ = s
        return math.hypot(x - cx, y - cy) - r
    _, x0, y0, x1, y1, r, _ = s
    qx = abs(x - (x0 + x1) / 2) - ((x1 - x0) / 2 - r)
    qy = abs(y - (y0 + y1) / 2) - ((y1 - y0) / 2 - r)
    return math.hypot(max(qx, 0), max(qy, 0)) + min(max(qx, qy), 0) - r


def bounds(s):
    if s[0] == "circle":
        _, cx, cy, r, _ = s
        return cx - r, cy - r, cx + r, cy + r
    return s[1:5]


def rgb(colour):
    return tuple(int(colour[i:i + 2], 16) / 255 for i in (1, 3, 5))


def render(size):
    """RGBA rows; each pixel covered by a shape in proportion to its distance from the edge."""
    scale = size / 256
    px = [[(0.0, 0.0, 0.0, 0.0)] * size for _ in range(size)]  # premultiplied
    for s in shapes():
        r, g, b = rgb(s[-1])
        x0, y0, x1, y1 = bounds(s)
        for y in range(max(0, int(y0 * scale) - 1), min(size, int(y1 * scale) + 2)):
            for x in range(max(0, int(x0 * scale) - 1), min(size, int(x1 * scale) + 2)):
                d = distance(s, (x + 0.5) / scale, (y + 0.5) / scale) * scale
                a = min(1.0, max(0.0, 0.5 - d))
                if a > 0:
                    pr, pg, pb, pa = px[y][x]
                    px[y][x] = (r * a + pr * (1 - a), g * a + pg * (1 - a),
                                b * a + pb * (1 - a), a + pa * (1 - a))
    rows = []
    for row in px:
        out = bytearray()
        for pr, pg, pb, pa in row:
            if pa <= 0:
                out += b"\0\0\0\0"
            else:
                out += bytes(round(min(1.0, v / pa) * 255) for v in (pr, pg, pb))
                out.append(round(pa * 255))
        rows.append(bytes(out))
    return rows


def raw_scanlines(rows):
    return b"".join(b"\0" + row for row in rows)  # filter type 0 on every row


def png(size, rows):
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(raw_scanlines(rows), 9)) + chunk(b"IEND", b""))


def png_pixels(data):
    """(IHDR bytes, decompressed scanlines) of a PNG file, or None."""
    if not data.startswith(b"\x89PNG\r\n\x1a\n"):
        return None
    pos, header, idat = 8, None, b""
    while pos + 8 <= len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            header = body
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    try:
        return header, zlib.decompress(idat)
    except zlib.error:
        return None


def main():
    args = sys.argv[1:]
    check = "--check" in args
    args = [a for a in args if a != "--check"]
    out = os.path.join(args[0] if args else os.path.dirname(os.path.abspath(__file__)), "icon")
    wanted = {"orvik.svg": (svg(), None)}
    for size in SIZES:
        rows = render(size)
        wanted[f"orvik-{size}.png"] = (png(size, rows), raw_scanlines(rows))
    if not check:
        os.makedirs(out, exist_ok=True)
        for name, (data, _) in wanted.items():
            with open(os.path.join(out, name), "wb") as f:
                f.write(data)
        return 0
    stale = []
    for name, (data, pixels) in wanted.items():
        path = os.path.join(out, name)
        try:
            with open(path, "rb") as f:
                have = f.read()
        except OSError:
            have = None
        if pixels is None:
            same = have == data
        else:
            got = png_pixels(have) if have else None
            same = got is not None and got == (data[16:29], pixels)
        if not same:
            stale.append(path)
    for path in stale:
        print("differs from the drawing:", path)
    return 1 if stale else 0


if __name__ == "__main__":
    sys.exit(main())
