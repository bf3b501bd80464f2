#!/usr/bin/env python3
"""Writes Resources/Levels/splash_tiles.png: a 64x64 tileset of four 32x32
tiles (floor, brick, sky, star) drawn from simple patterns."""
import struct
import zlib

SIZE, TILE = 64, 32


def tile_pixel(index, x, y):
    if index == 0:  # floor: dark grey with a lighter top edge
        return (150, 150, 160, 255) if y < 3 else (70, 70, 80, 255)
    if index == 1:  # brick: mortar lines every 8 rows, offset joints
        if y % 8 == 0 or (x + (8 if (y // 8) % 2 else 0)) % 16 == 0:
            return (200, 190, 170, 255)
        return (150, 60, 40, 255)
    if index == 2:  # sky: a vertical gradient
        return (20, 30, 60 + y * 3, 255)
    # star: sky with a small cross
    if (x == 16 and 12 <= y <= 20) or (y == 16 and 12 <= x <= 20):
        return (255, 240, 150, 255)
    return (20, 30, 60 + y * 3, 255)


def main():
    raw = bytearray()
    for y in range(SIZE):
        raw.append(0)
        for x in range(SIZE):
            index = (y // TILE) * 2 + x // TILE
            raw.extend(tile_pixel(index, x % TILE, y % TILE))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    png += chunk(b"IEND", b"")
    with open("Resources/Levels/splash_tiles.png", "wb") as f:
        f.write(png)


if __name__ == "__main__":
    main()
