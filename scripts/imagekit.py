"""Drawing helpers for the pictures the libraries and the applet carry: a
canvas of (r, g, b, a) pixels, a few shapes, a small pixel font, and writers
for .ico, .cur and 24-bit .bmp files. Pure Python, no dependencies."""
import struct

CLEAR = (0, 0, 0, 0)


def canvas(w, h, fill):
    return [[fill for _ in range(w)] for _ in range(h)]


def disc(p, cx, cy, r, c):
    for y in range(len(p)):
        for x in range(len(p[0])):
            if (x - cx) ** 2 + (y - cy) ** 2 <= r * r:
                p[y][x] = c


def rect(p, x0, y0, x1, y1, c):
    for y in range(max(0, y0), min(len(p), y1)):
        for x in range(max(0, x0), min(len(p[0]), x1)):
            p[y][x] = c


def frame(p, x0, y0, x1, y1, c):
    rect(p, x0, y0, x1, y0 + 1, c)
    rect(p, x0, y1 - 1, x1, y1, c)
    rect(p, x0, y0, x0 + 1, y1, c)
    rect(p, x1 - 1, y0, x1, y1, c)


def blit(p, x0, y0, q):
    """Copies q onto p at (x0, y0), skipping q's clear pixels."""
    for y, row in enumerate(q):
        for x, c in enumerate(row):
            if len(c) < 4 or c[3] != 0:
                if 0 <= y0 + y < len(p) and 0 <= x0 + x < len(p[0]):
                    p[y0 + y][x0 + x] = c


# 5x7 capitals and digits for small labels.
FONT = {
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "C": ["01111", "10000", "10000", "10000", "10000", "10000", "01111"],
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    "H": ["10001", "10001", "10001", "11111", "10001", "10001", "10001"],
    "L": ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    "O": ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    "Q": ["01110", "10001", "10001", "10001", "10101", "10010", "01101"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    "S": ["01111", "10000", "10000", "01110", "00001", "00001", "11110"],
    "T": ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    "U": ["10001", "10001", "10001", "10001", "10001", "10001", "01110"],
    "V": ["10001", "10001", "10001", "10001", "10001", "01010", "00100"],
    "-": ["00000", "00000", "00000", "11111", "00000", "00000", "00000"],
    " ": ["00000"] * 7,
}


def text(p, x, y, s, c, scale=1):
    for ch in s:
        for gy, bits in enumerate(FONT[ch]):
            for gx, bit in enumerate(bits):
                if bit == "1":
                    rect(p, x + gx * scale, y + gy * scale, x + (gx + 1) * scale, y + (gy + 1) * scale, c)
        x += 6 * scale


def text_width(s, scale=1):
    return len(s) * 6 * scale - scale


def _icon_image(pixels):
    size = len(pixels)
    xor = b"".join(struct.pack("<BBBB", b, g, r, a) for row in reversed(pixels) for (r, g, b, a) in row)
    mask_row = ((size + 31) // 32) * 4
    and_mask = b"".join(
        bytes(sum((0x80 >> (x % 8)) for x in range(byte * 8, min(byte * 8 + 8, size)) if row[x][3] == 0)
              for byte in range(size // 8)) + b"\0" * (mask_row - size // 8)
        for row in reversed(pixels))
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(and_mask), 0, 0, 0, 0)
    return header + xor + and_mask


def write_ico(path, images):
    """images: square pixel lists (32 and 16 rows), each of (r, g, b, a)."""
    if not isinstance(images, list) or not isinstance(images[0][0], list):
        images = [images]
    blobs = [_icon_image(p) for p in images]
    with open(path, "wb") as f:
        f.write(struct.pack("<HHH", 0, 1, len(blobs)))
        offset = 6 + 16 * len(blobs)
        for p, blob in zip(images, blobs):
            f.write(struct.pack("<BBBBHHII", len(p), len(p), 0, 0, 1, 32, len(blob), offset))
            offset += len(blob)
        for blob in blobs:
            f.write(blob)


def write_cur(path, pixels, hotspot):
    """A monochrome 32x32 cursor: black, white or clear pixels."""
    size = 32
    def bits(test):
        return b"".join(
            bytes(sum((0x80 >> (x % 8)) for x in range(byte * 8, byte * 8 + 8) if test(row[x])) for byte in range(4))
            for row in reversed(pixels))
    xor = bits(lambda c: c[3] != 0 and c[0] > 128)   # white
    and_mask = bits(lambda c: c[3] == 0)              # transparent
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 1, 0, len(xor) + len(and_mask), 0, 0, 2, 0)
    palette = struct.pack("<BBBBBBBB", 0, 0, 0, 0, 255, 255, 255, 0)
    image = header + palette + xor + and_mask
    with open(path, "wb") as f:
        f.write(struct.pack("<HHH", 0, 2, 1))
        f.write(struct.pack("<BBBBHHII", size, size, 2, 0, hotspot[0], hotspot[1], len(image), 6 + 16))
        f.write(image)


def write_bmp(path, pixels):
    """A 24-bit bitmap; the alpha of the pixels is ignored."""
    h, w = len(pixels), len(pixels[0])
    row_bytes = (w * 3 + 3) & ~3
    data = b"".join(
        b"".join(struct.pack("<BBB", c[2], c[1], c[0]) for c in row) + b"\0" * (row_bytes - w * 3)
        for row in reversed(pixels))
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(data), 0, 0, 14 + len(info)))
        f.write(info + data)
