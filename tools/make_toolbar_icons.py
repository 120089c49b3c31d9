#!/usr/bin/env python3
"""Draws the toolbar's 16 x 15 button images into resources/toolbar/ (standard library only).

Run from the repository root after changing a picture: python3 tools/make_toolbar_icons.py
"""
import os
import struct
import zlib

W, H = 16, 15
CLEAR = (0, 0, 0, 0)
BLACK = (0, 0, 0, 255)
WHITE = (255, 255, 255, 255)
GREY = (128, 128, 128, 255)
LIGHT = (192, 192, 192, 255)
YELLOW = (240, 200, 40, 255)
DARK_YELLOW = (160, 120, 0, 255)
BLUE = (30, 70, 190, 255)
RED = (210, 30, 30, 255)
GREEN = (20, 150, 40, 255)
SCREEN_GREEN = (60, 230, 90, 255)

# 3 x 5 glyphs, one string per row.
GLYPHS = {
    "P": ["##.", "#.#", "##.", "#..", "#.."],
    "S": [".##", "#..", ".#.", "..#", "##."],
    "1": [".#.", "##.", ".#.", ".#.", "###"],
    "2": ["##.", "..#", ".#.", "#..", "###"],
    "3": ["##.", "..#", ".#.", "..#", "##."],
    "?": ["##.", "..#", ".#.", "...", ".#."],
    ">": ["#..", ".#.", "..#", ".#.", "#.."],
}


class Canvas:
    def __init__(self):
        self.pixels = [[CLEAR] * W for _ in range(H)]

    def dot(self, x, y, colour):
        if 0 <= x < W and 0 <= y < H:
            self.pixels[y][x] = colour

    def fill(self, x0, y0, x1, y1, colour):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.dot(x, y, colour)

    def frame(self, x0, y0, x1, y1, colour):
        self.line(x0, y0, x1, y0, colour)
        self.line(x0, y1, x1, y1, colour)
        self.line(x0, y0, x0, y1, colour)
        self.line(x1, y0, x1, y1, colour)

    def line(self, x0, y0, x1, y1, colour):
        dx, dy = abs(x1 - x0), -abs(y1 - y0)
        sx, sy = (1 if x0 < x1 else -1), (1 if y0 < y1 else -1)
        err = dx + dy
        while True:
            self.dot(x0, y0, colour)
            if (x0, y0) == (x1, y1):
                return
            e2 = 2 * err
            if e2 >= dy:
                err += dy
                x0 += sx
            if e2 <= dx:
                err += dx
                y0 += sy

    def text(self, x, y, chars, colour):
        for char in chars:
            for row, bits in enumerate(GLYPHS[char]):
                for col, bit in enumerate(bits):
                    if bit == "#":
                        self.dot(x + col, y + row, colour)
            x += 4

    def disc(self, cx, cy, r, colour):
        for y in range(H):
            for x in range(W):
                if (x - cx) ** 2 + (y - cy) ** 2 <= r * r + r:
                    self.dot(x, y, colour)

    def png(self):
        raw = b"".join(b"\0" + b"".join(bytes(p) for p in row) for row in self.pixels)

        def chunk(kind, data):
            body = kind + data
            return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

        header = struct.pack(">IIBBBBB", W, H, 8, 6, 0, 0, 0)
        return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
                chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def chip(c, body=BLACK):
    """A DIP package: body in the middle, four pins on each long side."""
    c.fill(4, 3, 11, 11, body)
    c.frame(4, 3, 11, 11, BLACK)
    for y in (4, 6, 8, 10):
        c.dot(3, y, GREY)
        c.dot(2, y, GREY)
        c.dot(12, y, GREY)
        c.dot(13, y, GREY)
    c.dot(5, 4, GREY)


def monitor(c, letter):
    c.fill(1, 1, 14, 10, LIGHT)
    c.frame(1, 1, 14, 10, BLACK)
    c.fill(3, 3, 12, 8, BLACK)
    c.text(4, 3, ">", SCREEN_GREEN)
    c.text(8, 3, letter, SCREEN_GREEN)
    c.fill(6, 11, 9, 12, GREY)
    c.fill(3, 13, 12, 13, BLACK)


def check(c, colour, x=8, y=8):
    c.line(x, y + 2, x + 2, y + 4, colour)
    c.line(x + 2, y + 4, x + 6, y, colour)
    c.line(x, y + 3, x + 2, y + 5, colour)
    c.line(x + 2, y + 5, x + 7, y, colour)


def new_project(c):
    c.fill(3, 1, 10, 13, WHITE)
    c.frame(3, 1, 12, 13, BLACK)
    c.fill(11, 1, 12, 2, CLEAR)
    c.line(10, 1, 12, 3, BLACK)
    c.fill(4, 2, 11, 12, WHITE)
    c.line(10, 1, 10, 3, BLACK)
    c.line(10, 3, 12, 3, BLACK)


def open_project(c):
    c.fill(1, 4, 13, 12, YELLOW)
    c.frame(1, 4, 13, 12, DARK_YELLOW)
    c.fill(2, 2, 6, 4, YELLOW)
    c.frame(2, 2, 6, 4, DARK_YELLOW)
    c.line(3, 7, 14, 7, DARK_YELLOW)


def save_project(c):
    c.fill(1, 1, 13, 13, BLUE)
    c.frame(1, 1, 13, 13, BLACK)
    c.fill(4, 2, 10, 6, WHITE)
    c.fill(4, 9, 10, 13, LIGHT)
    c.fill(8, 10, 9, 12, BLUE)


def erase_chip(c):
    chip(c)
    c.line(2, 1, 13, 13, RED)
    c.line(3, 1, 14, 13, RED)
    c.line(13, 1, 2, 13, RED)
    c.line(14, 1, 3, 13, RED)


def blank_check(c):
    chip(c, WHITE)
    c.dot(5, 4, GREY)


def arrow_down(c, x, colour):
    c.fill(x, 0, x + 1, 5, colour)
    c.line(x - 2, 4, x, 6, colour)
    c.line(x + 3, 4, x + 1, 6, colour)


def write_flash(c):
    chip(c)
    arrow_down(c, 7, RED)


def read_flash(c):
    chip(c)
    c.fill(7, 9, 8, 14, GREEN)
    c.line(5, 11, 7, 9, GREEN)
    c.line(10, 11, 8, 9, GREEN)


def verify_flash(c):
    chip(c)
    check(c, SCREEN_GREEN, 6, 4)


def auto_program(c):
    bolt = [(9, 0), (8, 1), (7, 2), (6, 3), (5, 4), (4, 5), (3, 6), (4, 7), (5, 7), (6, 7),
            (7, 7), (6, 8), (5, 9), (4, 10), (3, 11), (2, 12), (2, 13)]
    for x, y in bolt:
        c.fill(x, y, x + 3, y, YELLOW)
    for x, y in bolt:
        c.dot(x, y, DARK_YELLOW)


def reset_device(c):
    c.disc(7, 7, 6, RED)
    c.disc(7, 7, 4, CLEAR)
    c.fill(6, 0, 8, 7, CLEAR)
    c.fill(7, 1, 7, 7, RED)


def preferences(c):
    c.disc(7, 7, 5, GREY)
    for x, y in ((6, 0), (6, 13), (0, 6), (13, 6)):
        c.fill(x, y, x + 2, y + 1 if y in (0, 13) else y + 2, GREY)
        if x in (0, 13):
            c.fill(x, y, x + 1, y + 2, GREY)
    c.disc(7, 7, 2, CLEAR)


def terminal_parallel(c):
    monitor(c, "P")


def terminal_serial(c):
    monitor(c, "S")


def serial_numbering(c):
    c.fill(0, 3, 15, 11, WHITE)
    c.frame(0, 3, 15, 11, BLACK)
    c.text(2, 5, "123", BLUE)


def about(c):
    c.disc(7, 7, 6, BLUE)
    c.text(6, 5, "?", WHITE)
    c.text(7, 5, "?", WHITE)


ICONS = [new_project, open_project, save_project, erase_chip, blank_check, write_flash,
         read_flash, verify_flash, auto_program, reset_device, preferences, terminal_parallel,
         terminal_serial, serial_numbering, about]


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    folder = os.path.join(root, "resources", "toolbar")
    os.makedirs(folder, exist_ok=True)
    for draw in ICONS:
        canvas = Canvas()
        draw(canvas)
        with open(os.path.join(folder, draw.__name__ + ".png"), "wb") as out:
            out.write(canvas.png())


if __name__ == "__main__":
    main()
