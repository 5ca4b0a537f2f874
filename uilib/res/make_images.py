#!/usr/bin/env python3
"""Draws the library's icons and the modem panel image (run once; outputs are committed)."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
from imagekit import CLEAR, canvas, disc, rect, write_bmp, write_ico  # noqa: E402

GOLD = (212, 170, 40, 255)
DARK = (90, 60, 10, 255)

def key_icon():
    p = canvas(32, 32, CLEAR)
    disc(p, 9, 16, 8, DARK)
    disc(p, 9, 16, 6, GOLD)
    disc(p, 9, 16, 2, CLEAR)
    rect(p, 15, 14, 30, 19, DARK)
    rect(p, 15, 15, 29, 18, GOLD)
    rect(p, 24, 18, 27, 23, GOLD)
    rect(p, 19, 18, 22, 22, GOLD)
    return p

def message_icon():
    p = canvas(32, 32, CLEAR)
    disc(p, 15, 15, 14, (0, 0, 128, 255))
    disc(p, 15, 15, 12, (255, 255, 255, 255))
    rect(p, 14, 7, 18, 11, (0, 0, 160, 255))
    rect(p, 14, 13, 18, 25, (0, 0, 160, 255))
    return p

def modem_icon():
    p = canvas(32, 32, CLEAR)
    rect(p, 1, 10, 31, 23, (60, 60, 60, 255))
    rect(p, 2, 11, 30, 22, (200, 200, 200, 255))
    for i in range(6):
        rect(p, 4 + 4 * i, 15, 7 + 4 * i, 18, (0, 200, 0, 255) if i in (2, 4) else (120, 120, 120, 255))
    return p

# 3x5 letters for the lamp labels.
GLYPHS = {
    "H": ["101", "101", "111", "101", "101"], "S": ["111", "100", "111", "001", "111"],
    "A": ["010", "101", "111", "101", "101"], "C": ["111", "100", "100", "100", "111"],
    "D": ["110", "101", "101", "101", "110"], "O": ["111", "101", "101", "101", "111"],
    "R": ["110", "101", "110", "101", "101"],
}

def panel():
    """98 x 20: pure red surround (drawn transparent), six lamp frames, labels."""
    w, h = 98, 20
    red, frame, ink = (255, 0, 0), (64, 64, 64), (0, 0, 0)
    p = canvas(w, h, red)
    for i, label in enumerate(["HS", "AA", "CD", "OH", "RD", "SD"]):
        x0, x1 = 15 * i + 5, 15 * (i + 1) + 1  # one pixel around the lamp rectangle
        rect(p, x0, 4, x1, 9, frame)
        rect(p, x0 + 1, 5, x1 - 1, 8, red)
        lx = 15 * i + 6
        for n, ch in enumerate(label):
            for gy, bits in enumerate(GLYPHS[ch]):
                for gx, bit in enumerate(bits):
                    if bit == "1":
                        p[12 + gy][lx + 4 * n + gx] = ink
    write_bmp("panel.bmp", p)

write_ico("key.ico", key_icon())
write_ico("message.ico", message_icon())
write_ico("modem.ico", modem_icon())
panel()
