#!/usr/bin/env python3
"""Writes the fuzzer's seed bitmaps into corpus/: one small file per accepted
depth and layout, each well under 1 KB."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def bmp(bits, width, height, pixel, clr_used=0, top_down=False):
    palette = b""
    if bits == 8:
        count = clr_used or 256
        palette = b"".join(bytes((i * 16 & 255, 255 - i * 16 & 255, i * 40 & 255, 0)) for i in range(count))
    bpp = bits // 8
    row_bytes = (width * bpp + 3) & ~3
    rows = []
    for r in range(height):
        y = r if top_down else height - 1 - r
        row = b"".join(pixel(x, y).to_bytes(bpp, "little") for x in range(width))
        rows.append(row + bytes(row_bytes - len(row)))
    offset = 54 + len(palette)
    pixels = b"".join(rows)
    file_header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    info_header = struct.pack("<IiiHHIIiiII", 40, width, -height if top_down else height, 1, bits, 0, 0, 2835, 2835,
                              clr_used, 0)
    return file_header + info_header + palette + pixels


SEEDS = {
    "indexed8.bmp": bmp(8, 5, 3, lambda x, y: (x + 3 * y) % 16, clr_used=16),
    "indexed8_two.bmp": bmp(8, 3, 2, lambda x, y: (x + y) % 2, clr_used=2),
    "rgb555.bmp": bmp(16, 3, 3, lambda x, y: (x * 0x1234 + y * 0x0F0F) & 0x7FFF),
    "rgb24.bmp": bmp(24, 5, 4, lambda x, y: (x * 0x3F1F07 + y * 0x0B1D2F) & 0xFFFFFF),
    "rgb24_topdown.bmp": bmp(24, 3, 3, lambda x, y: (x * 0x102030 + y * 0x405060) & 0xFFFFFF, top_down=True),
    "rgb32.bmp": bmp(32, 4, 3, lambda x, y: (x * 0x11223344 + y * 0x01020304) & 0xFFFFFFFF),
}

if __name__ == "__main__":
    os.makedirs(os.path.join(HERE, "corpus"), exist_ok=True)
    for name, data in SEEDS.items():
        assert len(data) < 1024, name
        with open(os.path.join(HERE, "corpus", name), "wb") as f:
            f.write(data)
