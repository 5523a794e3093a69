#!/usr/bin/env python3
"""Draws the main window's toolbar strip, ui/Toolbar.bmp: five 48x48 images left to right
(start, stop, song detection, settings, about), 32 bits per pixel, on pure white, which the
toolbar's image list treats as transparent. Standard library only.

Usage: python3 scripts/make-toolbar-bitmap.py [output path]
"""

import math
import os
import struct
import sys

SIZE = 48
COUNT = 5
SUPERSAMPLE = 4
WHITE = (255, 255, 255)
# Highlights are drawn a shade off white, so they are not punched out as transparent.
PALE = (250, 250, 246)


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def shade(colour, factor):
    return tuple(min(254.0, c * factor) for c in colour)


# Each painter takes a point (x, y) in image coordinates (0..48) and returns a colour or None.

def disc(cx, cy, r, light, dark, rim=None, rim_width=1.6):
    def paint(x, y):
        d = math.hypot(x - cx, y - cy)
        if d > r:
            return None
        if rim is not None and d > r - rim_width:
            return rim
        # Lit from the upper left.
        t = min(1.0, max(0.0, ((x - cx) + (y - cy)) / (2.4 * r) + 0.5))
        return mix(light, dark, t)
    return paint


def polygon(points, colour):
    def paint(x, y):
        inside = False
        n = len(points)
        for i in range(n):
            x1, y1 = points[i]
            x2, y2 = points[(i + 1) % n]
            if (y1 > y) != (y2 > y):
                xc = x1 + (y - y1) * (x2 - x1) / (y2 - y1)
                if x < xc:
                    inside = not inside
        return colour if inside else None
    return paint


def rect(x0, y0, x1, y1, colour, radius=0.0):
    def paint(x, y):
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return None
        if radius > 0:
            cx = min(max(x, x0 + radius), x1 - radius)
            cy = min(max(y, y0 + radius), y1 - radius)
            if math.hypot(x - cx, y - cy) > radius:
                return None
        return colour
    return paint


def ellipse(cx, cy, rx, ry, angle, colour):
    ca, sa = math.cos(angle), math.sin(angle)

    def paint(x, y):
        dx, dy = x - cx, y - cy
        u = dx * ca + dy * sa
        v = -dx * sa + dy * ca
        return colour if (u / rx) ** 2 + (v / ry) ** 2 <= 1.0 else None
    return paint


def ring(cx, cy, r_outer, r_inner, colour):
    def paint(x, y):
        d = math.hypot(x - cx, y - cy)
        return colour if r_inner <= d <= r_outer else None
    return paint


def segment(x0, y0, x1, y1, half_width, colour):
    def paint(x, y):
        vx, vy = x1 - x0, y1 - y0
        t = ((x - x0) * vx + (y - y0) * vy) / (vx * vx + vy * vy)
        t = min(1.0, max(0.0, t))
        d = math.hypot(x - (x0 + t * vx), y - (y0 + t * vy))
        return colour if d <= half_width else None
    return paint


def gear(cx, cy, r_body, r_tooth, r_hole, teeth, light, dark, rim):
    def paint(x, y):
        dx, dy = x - cx, y - cy
        d = math.hypot(dx, dy)
        if d < r_hole:
            return None
        a = math.atan2(dy, dx) % (2 * math.pi / teeth)
        phase = a / (2 * math.pi / teeth)
        # Teeth take the middle 40% of each period.
        outer = r_tooth if 0.3 <= phase <= 0.7 else r_body
        if d > outer:
            return None
        if d > outer - 1.6 or d < r_hole + 1.6:
            return rim
        t = min(1.0, max(0.0, (dx + dy) / (2.4 * r_tooth) + 0.5))
        return mix(light, dark, t)
    return paint


def icon_start():
    return [
        disc(24, 24, 21, (120, 214, 110), (24, 120, 36), rim=(14, 84, 24)),
        polygon([(18, 13), (18, 35), (36, 24)], PALE),
    ]


def icon_stop():
    return [
        disc(24, 24, 21, (244, 120, 108), (170, 24, 24), rim=(116, 14, 14)),
        rect(15.5, 15.5, 32.5, 32.5, PALE, radius=2.0),
    ]


def icon_song_detection():
    navy = (28, 52, 128)
    lens_rim = (60, 60, 66)
    return [
        # Two beamed eighth notes.
        ellipse(12, 33, 5.2, 3.8, -0.45, navy),
        ellipse(28, 29, 5.2, 3.8, -0.45, navy),
        rect(15.0, 9, 17.6, 33, navy),
        rect(31.0, 5, 33.6, 29, navy),
        polygon([(15.0, 9), (33.6, 5), (33.6, 10.5), (15.0, 14.5)], navy),
        # A magnifying glass over the lower right.
        ring(34, 35, 8.5, 6.0, lens_rim),
        disc(34, 35, 6.0, (214, 236, 252), (150, 196, 232)),
        segment(40.5, 41.5, 45, 46, 2.4, (96, 64, 36)),
    ]


def icon_settings():
    return [
        gear(24, 24, 15.5, 21, 6.5, 8, (206, 210, 218), (96, 102, 116), (56, 60, 70)),
    ]


def icon_about():
    return [
        disc(24, 24, 21, (112, 170, 240), (24, 72, 168), rim=(16, 48, 120)),
        disc(24, 13.5, 3.4, PALE, PALE),
        rect(20.5, 20, 27.5, 36, PALE, radius=1.0),
        rect(18.5, 33, 29.5, 36, PALE),
        rect(18.5, 20, 24.0, 22.5, PALE),
    ]


def render(painters):
    """Rows top to bottom of (r, g, b). A pixel is opaque when most of its samples hit a shape;
    its colour is then the mean of those samples, so outer edges stay hard against white."""
    rows = []
    n = SUPERSAMPLE
    for py in range(SIZE):
        row = []
        for px in range(SIZE):
            hits = []
            for sy in range(n):
                for sx in range(n):
                    x = px + (sx + 0.5) / n
                    y = py + (sy + 0.5) / n
                    colour = None
                    for paint in painters:
                        c = paint(x, y)
                        if c is not None:
                            colour = c
                    if colour is not None:
                        hits.append(colour)
            if len(hits) * 2 >= n * n:
                mean = tuple(sum(c[i] for c in hits) / len(hits) for i in range(3))
                pixel = tuple(int(round(v)) for v in mean)
                if pixel == WHITE:
                    pixel = PALE
                row.append(pixel)
            else:
                row.append(WHITE)
        rows.append(row)
    return rows


def write_bmp(path, images):
    width = SIZE * len(images)
    height = SIZE
    pixels = bytearray()
    # Bottom-up rows, blue-green-red-reserved; the fourth byte stays 0 (no alpha channel).
    for y in range(height - 1, -1, -1):
        for image in images:
            for r, g, b in image[y]:
                pixels += bytes((b, g, r, 0))
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 32, 0, len(pixels), 2835, 2835, 0, 0)
    offset = 14 + len(info)
    header = struct.pack('<2sIHHI', b'BM', offset + len(pixels), 0, 0, offset)
    with open(path, 'wb') as f:
        f.write(header + info + pixels)


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, 'ui', 'Toolbar.bmp')
    icons = [icon_start(), icon_stop(), icon_song_detection(), icon_settings(), icon_about()]
    write_bmp(out, [render(p) for p in icons])


if __name__ == '__main__':
    main()
