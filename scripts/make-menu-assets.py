#!/usr/bin/env python3
"""Writes the game's own menu data, all drawn or synthesised here:
Resources/Sound/MenuClick.wav and MenuEnter.wav (the GUI's hover and
activation sounds), the crowd images Resources/Images/Fans/Fans01.png to
Fans04.png and EvilFan.png, and the playable level's tile layer in
Resources/Levels/01_Playground.tmx (it reuses the splash tileset)."""
import base64
import math
import os
import struct
import wave
import zlib

RATE = 22050


def write_wav(path, samples):
    with wave.open(path, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(b"".join(struct.pack("<h", int(max(-1.0, min(1.0, s)) * 30000))
                                 for s in samples))


def tone(freqs, seconds, decay):
    n = int(RATE * seconds)
    out = []
    for i in range(n):
        t = i / RATE
        # The pitch steps through `freqs` in equal parts of the sound.
        f = freqs[min(len(freqs) - 1, i * len(freqs) // n)]
        attack = min(1.0, i / (RATE * 0.003))
        out.append(0.5 * attack * math.exp(-decay * t) * math.sin(2 * math.pi * f * t))
    return out


def write_png(path, width, height, pixel):
    raw = bytearray()
    for y in range(height):
        raw.append(0)
        for x in range(width):
            raw.extend(pixel(x, y))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def fan(shirt, arms_up, evil=False):
    """A 32x32 supporter: round head, shoulders and shirt, arms raised or not."""
    def pixel(x, y):
        skin = (230, 190, 150, 255) if not evil else (200, 40, 40, 255)
        cx = 15.5
        if (x - cx) ** 2 + (y - 9) ** 2 <= 25:  # head
            if evil and y in (7, 8) and x in (13, 18):
                return (255, 240, 0, 255)
            return skin
        if evil and ((x in (11, 12) and 2 <= y <= 5) or (x in (19, 20) and 2 <= y <= 5)):
            return (120, 0, 0, 255)  # horns
        if 15 <= y <= 31 and abs(x - cx) <= 7 + (y - 15) // 4:  # body
            return shirt
        if arms_up and 3 <= y <= 16 and (x in (5, 6) or x in (25, 26)):
            return skin
        return (0, 0, 0, 0)
    return pixel


def tile_layer(width, height, gid):
    data = b"".join(struct.pack("<I", gid(x, y)) for y in range(height) for x in range(width))
    return base64.b64encode(zlib.compress(data, 9)).decode()


# The playground: 30 x 17 tiles of 32 pixels. Tiles of the splash set:
# 1 floor, 2 brick, 3 sky, 4 star.
PLATFORMS = [(4, 12, 6), (13, 9, 5), (21, 12, 6)]  # (first column, row, length)


def playground_gid(x, y):
    if y >= 15:
        return 1
    if x == 0 or x == 29:
        return 2
    for first, row, length in PLATFORMS:
        if y == row and first <= x < first + length:
            return 2
    return 4 if (x * 7 + y * 13) % 23 == 0 else 3


def write_playground(path):
    walls = [(0, 480, 960, 64), (0, 0, 32, 480), (928, 0, 32, 480)]
    walls += [(first * 32, row * 32, length * 32, 32) for first, row, length in PLATFORMS]
    objects = []
    for i, (x, y, w, h) in enumerate(walls):
        objects.append(
            f'  <object name="Wall{i}" x="{x}" y="{y}" width="{w}" height="{h}">\n'
            '   <properties>\n'
            '    <property name="TYPE" value="WALL"/>\n'
            '   </properties>\n'
            '  </object>\n')
    objects.append(
        '  <object name="Player" x="96" y="400" width="32" height="48">\n'
        '   <properties>\n'
        '    <property name="NAME" value="Player"/>\n'
        '    <property name="COLOR" value="40,200,90,255"/>\n'
        '    <property name="MASS" value="1"/>\n'
        '    <property name="INIT" value="Levels/Player_Init.lua"/>\n'
        '    <property name="UPDATE" value="Levels/Player_Update.lua"/>\n'
        '    <property name="MESSAGE" value="Levels/Player_Message.lua"/>\n'
        '   </properties>\n'
        '  </object>\n')
    for i, x in enumerate((420, 470, 700)):
        objects.append(
            f'  <object name="Crate{i}" x="{x}" y="{120 + 40 * i}" width="36" height="36">\n'
            '   <properties>\n'
            '    <property name="COLOR" value="200,140,60,255"/>\n'
            '    <property name="MASS" value="2"/>\n'
            '   </properties>\n'
            '  </object>\n')
    text = (
        '<?xml version="1.0" encoding="UTF-8"?>\n'
        '<map version="1.0" orientation="orthogonal" width="30" height="17" '
        'tilewidth="32" tileheight="32">\n'
        ' <properties>\n'
        '  <property name="Init" value="Levels/Playground_Init.lua"/>\n'
        ' </properties>\n'
        ' <tileset firstgid="1" name="splash" tilewidth="32" tileheight="32">\n'
        '  <image source="splash_tiles.png" width="64" height="64"/>\n'
        ' </tileset>\n'
        ' <layer name="Background" width="30" height="17">\n'
        '  <data encoding="base64" compression="zlib">\n'
        f'   {tile_layer(30, 17, playground_gid)}\n'
        '  </data>\n'
        ' </layer>\n'
        ' <objectgroup name="Objects">\n'
        + "".join(objects) +
        ' </objectgroup>\n'
        '</map>\n')
    with open(path, "w") as f:
        f.write(text)


def main():
    os.makedirs("Resources/Sound", exist_ok=True)
    os.makedirs("Resources/Images/Fans", exist_ok=True)
    write_wav("Resources/Sound/MenuClick.wav", tone([1500], 0.04, 90))
    write_wav("Resources/Sound/MenuEnter.wav", tone([660, 880, 1320], 0.18, 14))
    shirts = [(200, 40, 40, 255), (40, 90, 200, 255), (240, 200, 30, 255), (40, 160, 70, 255)]
    for k, shirt in enumerate(shirts, start=1):
        write_png(f"Resources/Images/Fans/Fans0{k}.png", 32, 32, fan(shirt, k % 2 == 0))
    write_png("Resources/Images/Fans/EvilFan.png", 32, 32, fan((30, 30, 30, 255), True, evil=True))
    write_playground("Resources/Levels/01_Playground.tmx")


if __name__ == "__main__":
    main()
