#!/usr/bin/env python3
"""Draws the applet's icons, bitmaps and cursor (run once; outputs are committed).

Bitmaps drawn on pure red keep red as their transparent colour."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
from imagekit import CLEAR, blit, canvas, disc, frame, rect, text, text_width, write_bmp, write_cur, write_ico  # noqa: E402

RED = (255, 0, 0, 255)
BLACK = (0, 0, 0, 255)
WHITE = (255, 255, 255, 255)
GREY = (192, 192, 192, 255)
DARK = (96, 96, 96, 255)
NAVY = (0, 0, 128, 255)
BLUE = (40, 90, 200, 255)
GREEN = (0, 176, 0, 255)
AMBER = (230, 170, 30, 255)
TEAL = (0, 128, 128, 255)


def device(s, bg, open_lid=False):
    """A rack unit with lamps; open_lid shows it expanded."""
    p = canvas(s, s, bg)
    k = s // 16
    top = 4 * k if not open_lid else 6 * k
    rect(p, 1 * k, top, 15 * k, 12 * k, BLACK)
    rect(p, 2 * k, top + k, 14 * k, 11 * k, GREY)
    rect(p, 2 * k, 10 * k, 14 * k, 11 * k, DARK)
    for i in range(3):
        rect(p, (3 + 2 * i) * k, top + 2 * k, (4 + 2 * i) * k, top + 3 * k, GREEN if i != 1 else AMBER)
    rect(p, 10 * k, top + 2 * k, 13 * k, top + 3 * k, NAVY)
    if open_lid:
        rect(p, 3 * k, 2 * k, 15 * k, 3 * k, BLACK)
        rect(p, 2 * k, 3 * k, 3 * k, top, BLACK)
    rect(p, 4 * k, 12 * k, 5 * k, 14 * k, BLACK)
    rect(p, 11 * k, 12 * k, 12 * k, 14 * k, BLACK)
    return p


def connector(p, x, y, k, body=BLUE):
    """A serial connector 6 units wide, 5 high, at (x, y) in units of k."""
    rect(p, x * k, y * k, (x + 6) * k, (y + 5) * k, BLACK)
    rect(p, (x + 1) * k, (y + 1) * k, (x + 5) * k, (y + 4) * k, body)
    for i in range(2):
        rect(p, (x + 2 + 2 * i) * k, (y + 2) * k, (x + 3 + 2 * i) * k, (y + 3) * k, WHITE)


def port_group(s, bg):
    p = canvas(s, s, bg)
    k = s // 16
    connector(p, 5, 2, k)
    rect(p, 7 * k, 7 * k, 9 * k, 13 * k, BLACK)
    rect(p, 4 * k, 12 * k, 12 * k, 14 * k, BLACK)
    return p


def command_shell(s, bg):
    p = canvas(s, s, bg)
    k = s // 16
    rect(p, 1 * k, 2 * k, 15 * k, 14 * k, BLACK)
    rect(p, 2 * k, 4 * k, 14 * k, 13 * k, NAVY)
    rect(p, 2 * k, 3 * k, 14 * k, 4 * k, GREY)
    for i in range(3):  # ">" then "_"
        rect(p, (3 + i) * k, (6 + i) * k, (4 + i) * k, (7 + i) * k, WHITE)
        rect(p, (3 + i) * k, (10 - i) * k, (4 + i) * k, (11 - i) * k, WHITE)
    rect(p, 7 * k, 10 * k, 11 * k, 11 * k, WHITE)
    return p


def all_ports(s, bg):
    p = canvas(s, s, bg)
    k = s // 16
    connector(p, 1, 1, k, TEAL)
    connector(p, 9, 1, k, TEAL)
    connector(p, 5, 9, k, TEAL)
    rect(p, 4 * k, 6 * k, 5 * k, 9 * k, BLACK)
    rect(p, 12 * k, 6 * k, 13 * k, 9 * k, BLACK)
    rect(p, 4 * k, 8 * k, 13 * k, 9 * k, BLACK)
    return p


def strip(cells):
    s = len(cells[0])
    p = canvas(s * len(cells), s, RED)
    for i, cell in enumerate(cells):
        blit(p, s * i, 0, cell)
    return p


def image_strip(s):
    """0 device, 1 port group, 2 expanded device, 3 Command_Shell, 4 All_Ports."""
    return strip([device(s, RED), port_group(s, RED), device(s, RED, True), command_shell(s, RED),
                  all_ports(s, RED)])


def tab_images():
    """0 a port served locally, 1 a port redirected over the network."""
    plain = canvas(16, 16, RED)
    connector(plain, 5, 5, 1, GREY)
    redirected = canvas(16, 16, RED)
    connector(redirected, 1, 5, 1, BLUE)
    for i in range(4):  # an arrow out to the network
        rect(redirected, 8 + i, 7, 9 + i, 8, GREEN)
    rect(redirected, 11, 5, 12, 10, GREEN)
    rect(redirected, 12, 6, 13, 9, GREEN)
    rect(redirected, 13, 7, 14, 8, GREEN)
    return strip([plain, redirected])


def logo(bg=RED):
    """The maker's mark: a white Q on a blue disc."""
    p = canvas(32, 32, bg)
    disc(p, 15.5, 15.5, 15, NAVY)
    disc(p, 15.5, 15.5, 13, BLUE)
    text(p, 11, 9, "Q", WHITE, 2)
    return p


def logo_button(state):
    """90 x 23 faces of the logo button: up, down, focused, disabled."""
    w, h = 90, 23
    p = canvas(w, h, GREY)
    shift = 1 if state == "D" else 0
    if state == "D":
        frame(p, 0, 0, w, h, BLACK)
        rect(p, 1, 1, w - 1, 2, DARK)
        rect(p, 1, 1, 2, h - 1, DARK)
    else:
        rect(p, 0, 0, w, 1, WHITE)
        rect(p, 0, 0, 1, h, WHITE)
        rect(p, 0, h - 1, w, h, BLACK)
        rect(p, w - 1, 0, w, h, BLACK)
        rect(p, 1, h - 2, w - 1, h - 1, DARK)
        rect(p, w - 2, 1, w - 1, h - 1, DARK)
    ink = DARK if state == "X" else NAVY
    small = canvas(16, 16, GREY)
    disc(small, 7.5, 7.5, 7, ink)
    text(small, 5, 4, "Q", WHITE if state != "X" else GREY)
    blit(p, 5 + shift, 3 + shift, small)
    word = "QUELT"
    text(p, 25 + shift, 8 + shift, word, ink)
    if state == "X":
        text(p, 26, 9, word, WHITE)
        text(p, 25, 8, word, DARK)
    if state == "F":
        for x in range(3, w - 3, 2):
            p[3][x] = BLACK
            p[h - 4][x] = BLACK
        for y in range(3, h - 3, 2):
            p[y][3] = BLACK
            p[y][w - 4] = BLACK
    return p


def opaque(p):
    return [[(c[0], c[1], c[2], 255) if c != RED else CLEAR for c in row] for row in p]


def chooser_icon(s):
    p = canvas(s, s, CLEAR)
    k = s // 16
    blit(p, 0, 0, opaque(device(s, RED)))
    disc(p, 12 * k, 12 * k, 4 * k - 1, GREEN)
    rect(p, 10 * k, 12 * k, 14 * k, 12 * k + max(1, k), WHITE)
    rect(p, 12 * k, 10 * k, 12 * k + max(1, k), 14 * k, WHITE)
    return p


def browse_icon(s):
    p = canvas(s, s, CLEAR)
    k = s // 16
    blit(p, 0, 0, opaque(device(s, RED)))
    disc(p, 10 * k, 9 * k, 4 * k, BLACK)
    disc(p, 10 * k, 9 * k, 3 * k, (200, 230, 255, 255))
    for i in range(4 * k):
        rect(p, 12 * k + i, 11 * k + i, 12 * k + i + 2 * k, 11 * k + i + max(1, k), BLACK)
    return p


def hand_cursor():
    rows = [
        "      XX        ",
        "     X..X       ",
        "     X..X       ",
        "     X..X       ",
        "     X..XXX     ",
        "     X..X..XXX  ",
        "  XX X..X..X..XX",
        " X..XX........X.X",
        " X...X........X",
        "  X...........X",
        "   X..........X",
        "   X.........X ",
        "    X........X ",
        "    X.......X  ",
        "     X......X  ",
        "     XXXXXXXX  ",
    ]
    p = canvas(32, 32, CLEAR)
    for y, row in enumerate(rows):
        for x, ch in enumerate(row[:16]):
            if ch == "X":
                p[y][x] = BLACK
            elif ch == ".":
                p[y][x] = WHITE
    return p


write_bmp("images16.bmp", image_strip(16))
write_bmp("images32.bmp", image_strip(32))
write_bmp("tabs.bmp", tab_images())
write_bmp("logo.bmp", logo())
for state in "UDFX":
    write_bmp("logo%s.bmp" % state.lower(), logo_button(state))
write_ico("chooser.ico", [chooser_icon(32), chooser_icon(16)])
write_ico("browse.ico", [browse_icon(32), browse_icon(16)])
write_cur("hand.cur", hand_cursor(), (6, 0))
