#!/usr/bin/env python3
"""Draws flash89.ico, the Windows program's icon, from the shapes of
flash89.svg (the chip, its pins and the download arrow; the small label
is left out). Run it after changing the picture: python3 make_icon.py"""
import struct

PINS = "#9aa3ad"
BODY = "#2b3440"
NOTCH = "#1c232b"
ARROW = "#f5b301"


def rgb(colour):
    return tuple(int(colour[i:i + 2], 16) for i in (1, 3, 5))


def inside(x, y):
    """The colour at a point of the 128 x 128 picture, or None."""
    def rect(left, top, width, height):
        return left <= x < left + width and top <= y < top + height
    if rect(42, 88, 44, 8):
        return ARROW
    if y >= 62 and y <= 82 and abs(x - 64) <= (82 - y) * 18 / 20:
        return ARROW
    if rect(59, 35, 10, 35) or (x - 64) ** 2 + (y - 40) ** 2 <= 25 or (x - 64) ** 2 + (y - 70) ** 2 <= 25:
        return ARROW
    if (x - 64) ** 2 + (y - 30) ** 2 <= 16:
        return NOTCH
    if rect(28, 22, 72, 86):
        return BODY
    for top in (30, 46, 62, 78, 94):
        if rect(20, top, 10, 6) or rect(98, top, 10, 6):
            return PINS
    return None


def image(size, samples=4):
    """A 32-bit icon image: BITMAPINFOHEADER, BGRA rows bottom up, AND mask."""
    pixels = bytearray()
    for row in range(size - 1, -1, -1):
        for column in range(size):
            total = [0, 0, 0, 0]
            for sy in range(samples):
                for sx in range(samples):
                    x = (column + (sx + 0.5) / samples) * 128 / size
                    y = (row + (sy + 0.5) / samples) * 128 / size
                    colour = inside(x, y)
                    if colour:
                        r, g, b = rgb(colour)
                        total = [total[0] + b, total[1] + g, total[2] + r, total[3] + 255]
            count = samples * samples
            alpha = total[3] // count
            if alpha:
                pixels += bytes(c * 255 // total[3] for c in total[:3]) + bytes([alpha])
            else:
                pixels += bytes(4)
    mask = bytes(((size + 31) // 32) * 4 * size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
    return header + bytes(pixels) + mask


def main():
    sizes = (48, 32, 16)
    images = [image(size) for size in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for size, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open("flash89.ico", "wb") as icon:
        icon.write(out + b"".join(images))


if __name__ == "__main__":
    main()
