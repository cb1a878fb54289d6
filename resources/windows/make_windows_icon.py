#!/usr/bin/env python3
"""Packs the program's icon PNGs into one Windows .ico, each size as a PNG image (read by
Windows Vista and later).

Usage: make_windows_icon.py out.ico icon-16.png icon-32.png ...
"""
import struct
import sys


def png_size(data):
    if data[:8] != b"\x89PNG\r\n\x1a\n" or data[12:16] != b"IHDR":
        raise ValueError("not a PNG")
    return struct.unpack(">II", data[16:24])


def pack(pngs):
    images = sorted(((png_size(d), d) for d in pngs), key=lambda item: item[0][0])
    header = struct.pack("<HHH", 0, 1, len(images))
    entries, offset = b"", 6 + 16 * len(images)
    for (w, h), data in images:
        if w > 256 or h > 256:
            raise ValueError("an icon image is at most 256 x 256")
        # 0 stands for 256; 32 bits per pixel, the PNG as it is.
        entries += struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return header + entries + b"".join(d for _, d in images)


def main(argv):
    if len(argv) < 3:
        sys.exit(__doc__)
    pngs = []
    for name in argv[2:]:
        with open(name, "rb") as f:
            pngs.append(f.read())
    with open(argv[1], "wb") as f:
        f.write(pack(pngs))


if __name__ == "__main__":
    main(sys.argv)
