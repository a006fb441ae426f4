#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Draws every image of the resource bundle into resources/images/.

Run it with a Python that has Pillow (Debian: python3-pil), e.g.
    /usr/bin/python3 resources/art/make-art.py
The output is deterministic; commit the images it writes so the build itself
never needs Python. Shapes are drawn on an 8x canvas in pixel coordinates of
the final image and scaled down, which gives anti-aliased edges on a
transparent ground.
"""

import math
import os
import struct
import sys

from PIL import Image, ImageDraw

SS = 8  # supersampling factor

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "images")


def rgba(hexcolour, alpha=255):
    h = hexcolour.lstrip("#")
    return (int(h[0:2], 16), int(h[2:4], 16), int(h[4:6], 16), alpha)


class Canvas:
    """A transparent canvas addressed in final-pixel coordinates."""

    def __init__(self, size):
        self.size = size
        self.img = Image.new("RGBA", (size * SS, size * SS), (0, 0, 0, 0))
        self.draw = ImageDraw.Draw(self.img)

    @staticmethod
    def _s(v):
        return v * SS

    def _box(self, x0, y0, x1, y1):
        # Edge coordinates: (x0, y0) is the top-left corner of the first pixel
        # covered, (x1, y1) the bottom-right corner of the last one.
        return [round(x0 * SS), round(y0 * SS), round(x1 * SS) - 1, round(y1 * SS) - 1]

    def disc(self, cx, cy, r, colour):
        self.draw.ellipse(self._box(cx - r, cy - r, cx + r, cy + r), fill=colour)

    def rect(self, x0, y0, x1, y1, colour, radius=0.0):
        box = self._box(x0, y0, x1, y1)
        if radius > 0:
            self.draw.rounded_rectangle(box, radius=round(radius * SS), fill=colour)
        else:
            self.draw.rectangle(box, fill=colour)

    def polygon(self, points, colour):
        self.draw.polygon([(x * SS, y * SS) for x, y in points], fill=colour)

    def line(self, points, width, colour, round_caps=True):
        pts = [(x * SS, y * SS) for x, y in points]
        self.draw.line(pts, fill=colour, width=round(width * SS), joint="curve")
        if round_caps:
            r = width * SS / 2.0
            for x, y in (pts[0], pts[-1]):
                self.draw.ellipse([x - r, y - r, x + r, y + r], fill=colour)

    def arc(self, cx, cy, r, start, end, width, colour):
        outer = r + width / 2.0  # Pillow grows the stroke inwards from the box
        box = [(cx - outer) * SS, (cy - outer) * SS, (cx + outer) * SS, (cy + outer) * SS]
        self.draw.arc(box, start, end, fill=colour, width=round(width * SS))

    def result(self):
        # Scale in premultiplied alpha so transparent pixels do not bleed
        # black into the anti-aliased edges.
        small = self.img.convert("RGBa").resize((self.size, self.size), Image.LANCZOS)
        return small.convert("RGBA")


def save_png(img, name):
    img.save(os.path.join(OUT, name), format="PNG", optimize=True)


def save_ico(img, name):
    """One 32-bit BGRA bitmap entry; written by hand so every ICO reader
    (including Qt's) sees a classic DIB rather than an embedded PNG."""
    w, h = img.size
    px = img.load()
    xor = bytearray()
    for y in range(h - 1, -1, -1):  # bottom-up rows
        for x in range(w):
            r, g, b, a = px[x, y]
            xor += bytes((b, g, r, a))
    mask_stride = ((w + 31) // 32) * 4
    and_mask = bytearray()
    for y in range(h - 1, -1, -1):
        row = bytearray(mask_stride)
        for x in range(w):
            if px[x, y][3] == 0:
                row[x // 8] |= 0x80 >> (x % 8)
        and_mask += row
    header = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0,
                         len(xor) + len(and_mask), 0, 0, 0, 0)
    data = header + bytes(xor) + bytes(and_mask)
    icondir = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, 32, len(data), 6 + 16)
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(icondir + entry + data)


# ---------------------------------------------------------------- program icon

def program_icon(size):
    """A camera body on a blue tile, its lens carrying an upward arrow."""
    u = size / 32.0  # design grid of 32 units
    c = Canvas(size)
    # tile: two blues, lighter band on top for depth
    c.rect(1 * u, 1 * u, 31 * u, 31 * u, rgba("#1d5fa8"), radius=6 * u)
    c.rect(1 * u, 1 * u, 31 * u, 19 * u, rgba("#2c7dce"), radius=6 * u)
    c.rect(1 * u, 12 * u, 31 * u, 19 * u, rgba("#2c7dce"))
    # camera body with its viewfinder bump
    c.rect(9 * u, 7 * u, 16 * u, 11 * u, rgba("#ccd3dd"), radius=1.5 * u)
    c.rect(4 * u, 9.5 * u, 28 * u, 26 * u, rgba("#eef2f7"), radius=3 * u)
    c.disc(24.5 * u, 13 * u, 1.3 * u, rgba("#0f8bfd"))
    # lens: dark ring, bright blue glass
    c.disc(16 * u, 17.75 * u, 7.2 * u, rgba("#172335"))
    c.disc(16 * u, 17.75 * u, 5.6 * u, rgba("#0f8bfd"))
    # upward arrow inside the lens
    white = rgba("#ffffff")
    c.polygon([(16 * u, 12.9 * u), (19.6 * u, 17.0 * u), (12.4 * u, 17.0 * u)], white)
    c.rect(14.8 * u, 16.5 * u, 17.2 * u, 21.8 * u, white)
    return c.result()


# ---------------------------------------------------------------- message icons

def exclamation(c, cx, top, bottom, white):
    c.line([(cx, top), (cx, bottom)], 3.2, white)
    c.disc(cx, bottom + 4.2, 1.9, white)


def ico_information():
    c = Canvas(30)
    c.disc(15, 15, 14.5, rgba("#1e90ff"))
    exclamation(c, 15, 7.5, 16.5, rgba("#ffffff"))
    return c.result()


def ico_question():
    c = Canvas(30)
    white = rgba("#ffffff")
    c.disc(15, 15, 14.5, rgba("#2c7dce"))
    # hook: an open arc from the left round over the top to the lower right,
    # then a short stem down to the middle, then the dot
    cx, cy, r, w = 15.0, 11.4, 4.3, 3.0
    c.arc(cx, cy, r, 185, 410, w, white)
    start = (cx + r * math.cos(math.radians(185)), cy + r * math.sin(math.radians(185)))
    end = (cx + r * math.cos(math.radians(410)), cy + r * math.sin(math.radians(410)))
    c.disc(start[0], start[1], w / 2, white)
    c.line([end, (15.0, 17.2), (15.0, 18.2)], w, white)
    c.disc(15, 22.4, 1.9, white)
    return c.result()


def ico_warning():
    c = Canvas(30)
    orange = rgba("#f5a623")
    corners = [(15.0, 4.6), (3.4, 25.4), (26.6, 25.4)]
    c.polygon(corners, orange)
    # a thick outline with round joints softens the three corners
    c.line(corners + [corners[0]], 2.8, orange)
    exclamation(c, 15, 11.0, 17.6, rgba("#ffffff"))
    return c.result()


def ico_error():
    c = Canvas(30)
    white = rgba("#ffffff")
    c.disc(15, 15, 14.5, rgba("#e0433b"))
    c.line([(10.2, 10.2), (19.8, 19.8)], 3.0, white)
    c.line([(19.8, 10.2), (10.2, 19.8)], 3.0, white)
    return c.result()


# ---------------------------------------------------------------- title bar buttons

def close_cross(colour):
    c = Canvas(18)
    c.line([(4.5, 4.5), (13.5, 13.5)], 1.6, rgba(colour))
    c.line([(13.5, 4.5), (4.5, 13.5)], 1.6, rgba(colour))
    return c.result()


def minimise_bar(colour):
    # Pixel-exact: a 2-pixel bar must stay crisp, not smeared over three rows.
    img = Image.new("RGBA", (18, 18), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    d.rectangle([4, 8, 13, 9], fill=rgba(colour))
    return img


# ---------------------------------------------------------------- small glyphs

def drop_down(colour):
    c = Canvas(12)
    c.polygon([(2.0, 4.0), (10.0, 4.0), (6.0, 8.5)], rgba(colour))
    return c.result()


def arrow(colour, up):
    c = Canvas(9)
    if up:
        c.polygon([(4.5, 2.0), (8.0, 6.5), (1.0, 6.5)], rgba(colour))
    else:
        c.polygon([(1.0, 2.5), (8.0, 2.5), (4.5, 7.0)], rgba(colour))
    return c.result()


def check_box(border, ticked=False, partial=False, ground="#0b121e", tick="#0f8bfd"):
    c = Canvas(15)
    c.rect(0.5, 0.5, 14.5, 14.5, rgba(border), radius=2.0)
    c.rect(1.5, 1.5, 13.5, 13.5, rgba(ground), radius=1.2)
    if partial:
        c.rect(3.5, 3.5, 11.5, 11.5, rgba("#7cc0ff"), radius=1.0)
    if ticked:
        c.line([(3.8, 7.6), (6.3, 10.1), (11.2, 4.6)], 1.9, rgba(tick))
    return c.result()


def folder():
    c = Canvas(16)
    back, front = rgba("#d9a21b"), rgba("#f6c846")
    c.rect(1.0, 2.5, 7.0, 6.0, back, radius=1.0)       # tab
    c.rect(1.0, 4.0, 15.0, 14.0, back, radius=1.0)     # back sheet
    c.polygon([(2.6, 6.4), (15.4, 6.4), (14.2, 14.0), (1.0, 14.0)], front)
    return c.result()


def main():
    os.makedirs(OUT, exist_ok=True)
    save_ico(program_icon(32), "Brelvo 32_32.ico")
    save_ico(program_icon(64), "Brelvo 64_64.ico")
    save_png(ico_information(), "ico_information.png")
    save_png(ico_question(), "ico_question.png")
    save_png(ico_warning(), "ico_warning.png")
    save_png(ico_error(), "ico_error.png")
    save_png(close_cross("#a3b1c6"), "close_n.png")
    save_png(close_cross("#ff7a7a"), "close_h.png")
    save_png(minimise_bar("#c8cdd5"), "minimizei_n.png")
    save_png(minimise_bar("#2c7dce"), "minimizei_h.png")
    save_png(drop_down("#6c7586"), "drop_down_n.png")
    save_png(drop_down("#ccd3dd"), "drop_down_h.png")
    save_png(drop_down("#3d4759"), "drop_down_d.png")
    save_png(arrow("#6c7586", True), "arrow_up_n.png")
    save_png(arrow("#ccd3dd", True), "arrow_up_h.png")
    save_png(arrow("#6c7586", False), "arrow_down_n.png")
    save_png(arrow("#ccd3dd", False), "arrow_down_h.png")
    save_png(check_box("#323e58"), "checkBox_unchecked_n.png")
    save_png(check_box("#0f8bfd"), "checkBox_unchecked_h.png")
    save_png(check_box("#323e58", ticked=True), "checkBox_checked_n.png")
    save_png(check_box("#0f8bfd", ticked=True), "checkBox_checked_h.png")
    save_png(check_box("#0f8bfd", partial=True), "checkBox_indeterminate.png")
    # Disabled: a dim frame on the window's own ground, a grey tick.
    save_png(check_box("#2a3649", ground="#172335"), "checkBox_unchecked_d.png")
    save_png(check_box("#2a3649", ticked=True, ground="#172335", tick="#56627a"), "checkBox_checked_d.png")
    save_png(folder(), "folder.png")
    return 0


if __name__ == "__main__":
    sys.exit(main())
