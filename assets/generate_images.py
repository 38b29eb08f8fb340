#!/usr/bin/python3
"""Draws every image the programs load into images/ (or the folder given as the argument).

Reproducible: no randomness without a fixed seed, fonts from fonts-dejavu-core.
Every PNG is 8-bit and non-interlaced, RGB or RGBA (the GL image loader reads nothing else).
Icons are drawn at four times their size and box-filtered down, on transparent backgrounds;
button icons keep inside the round button's disc. Images drawn with texture coordinates that
put the first row at the top are drawn upright; the pointer images are drawn flipped by the
pointer code, so they are symmetric top to bottom.

Run: /usr/bin/python3 assets/generate_images.py [output_dir]
"""

import math
import os
import random
import sys

from PIL import Image, ImageDraw, ImageFont

FONT_DIR = "/usr/share/fonts/truetype/dejavu"
FONT_BOLD = os.path.join(FONT_DIR, "DejaVuSans-Bold.ttf")
SCALE = 4  # supersampling factor

# Palette
INK = (32, 38, 48, 255)         # outlines
BLUE = (40, 120, 215, 255)
GREEN = (40, 170, 70, 255)
RED = (215, 50, 45, 255)
ORANGE = (240, 150, 30, 255)
YELLOW = (245, 200, 40, 255)
BROWN = (150, 100, 55, 255)
EARTH = (170, 125, 75, 255)
GRASS = (95, 165, 70, 255)
WHITE = (255, 255, 255, 255)
GREY = (150, 155, 165, 255)
PAPER = (250, 250, 245, 255)
WOOD = (190, 130, 70, 255)
METAL = (185, 190, 200, 255)
PINK = (240, 140, 160, 255)

# Glyph boundaries of the two font atlases; the label code holds the same tables.
CAPITAL_GLYPHS = "ABCDEFGHIJKLMNOPQRSTUVWXYZ!?.,:;+-*/#'"
CAPITAL_BOUNDARIES = [
    0.0000, 0.0358, 0.0606, 0.0925, 0.1253, 0.1499, 0.1712, 0.2034, 0.2336, 0.2430,
    0.2623, 0.2923, 0.3170, 0.3533, 0.3837, 0.4200, 0.4436, 0.4799, 0.5071, 0.5325,
    0.5655, 0.5946, 0.6265, 0.6689, 0.7001, 0.7310, 0.7592, 0.7713, 0.7923, 0.8047,
    0.8147, 0.8295, 0.8416, 0.8759, 0.9019, 0.9239, 0.9458, 0.9773, 0.9873]
MINUSCULE_GLYPHS = "abcdefghijklmnopqrstuvwxyz0123456789() "
MINUSCULE_BOUNDARIES = [
    0.0000, 0.0257, 0.0528, 0.0764, 0.1056, 0.1314, 0.1491, 0.1779, 0.2045, 0.2158,
    0.2357, 0.2608, 0.2721, 0.3134, 0.3401, 0.3686, 0.3958, 0.4250, 0.4419, 0.4643,
    0.4825, 0.5095, 0.5354, 0.5732, 0.6022, 0.6283, 0.6546, 0.6834, 0.6984, 0.7237,
    0.7486, 0.7777, 0.8013, 0.8296, 0.8565, 0.8843, 0.9124, 0.9269, 0.9428, 0.9630]
ATLAS_HEIGHT = 64
ATLAS_WIDTH = 1400  # 21.875 x 64


class Canvas:
    """An RGBA drawing in final-pixel coordinates, rendered at SCALE times the size."""

    def __init__(self, width, height=None, background=(0, 0, 0, 0), mode="RGBA"):
        height = height or width
        self.width, self.height = width, height
        self.image = Image.new(mode, (width * SCALE, height * SCALE), background)
        self.draw = ImageDraw.Draw(self.image)

    @staticmethod
    def _p(points):
        return [(x * SCALE, y * SCALE) for x, y in points]

    @staticmethod
    def _w(width):
        return max(1, int(round(width * SCALE)))

    def line(self, points, color=INK, width=4.0, round_caps=True):
        pts = self._p(points)
        self.draw.line(pts, fill=color, width=self._w(width), joint="curve")
        if round_caps:
            r = width * SCALE / 2
            for x, y in (pts[0], pts[-1]):
                self.draw.ellipse([x - r, y - r, x + r, y + r], fill=color)

    def polygon(self, points, fill, outline=INK, width=3.0):
        self.draw.polygon(self._p(points), fill=fill)
        if outline is not None and width > 0:
            self.line(list(points) + [points[0]], outline, width)

    def ellipse(self, box, fill=None, outline=INK, width=3.0):
        x0, y0, x1, y1 = box
        self.draw.ellipse([x0 * SCALE, y0 * SCALE, x1 * SCALE, y1 * SCALE], fill=fill,
                          outline=outline if width > 0 else None,
                          width=self._w(width) if outline is not None else 0)

    def circle(self, cx, cy, r, fill=None, outline=INK, width=3.0):
        self.ellipse((cx - r, cy - r, cx + r, cy + r), fill, outline, width)

    def rect(self, box, fill, outline=INK, width=3.0, radius=0.0):
        x0, y0, x1, y1 = box
        self.draw.rounded_rectangle([x0 * SCALE, y0 * SCALE, x1 * SCALE, y1 * SCALE],
                                    radius=radius * SCALE, fill=fill,
                                    outline=outline if outline is not None else None,
                                    width=self._w(width) if outline is not None else 0)

    def arc(self, box, start, end, color=INK, width=4.0):
        x0, y0, x1, y1 = box
        self.draw.arc([x0 * SCALE, y0 * SCALE, x1 * SCALE, y1 * SCALE], start, end,
                      fill=color, width=self._w(width))

    def arrow_head(self, tip, direction_deg, length, half_width, fill, outline=INK, width=2.5):
        """A filled triangle whose tip points along direction_deg (0 = right, 90 = down)."""
        a = math.radians(direction_deg)
        dx, dy = math.cos(a), math.sin(a)
        bx, by = tip[0] - dx * length, tip[1] - dy * length
        nx, ny = -dy, dx
        self.polygon([tip, (bx + nx * half_width, by + ny * half_width),
                      (bx - nx * half_width, by - ny * half_width)], fill, outline, width)

    def result(self):
        """Box-filters the supersampled drawing down (premultiplied, so edges get no halo)."""
        if self.image.mode == "RGBA":
            small = self.image.convert("RGBa").reduce(SCALE).convert("RGBA")
        else:
            small = self.image.reduce(SCALE)
        return small


def save(image, folder, name):
    assert image.mode in ("RGB", "RGBA"), name
    image.save(os.path.join(folder, name), format="PNG", optimize=True)


# ---------------------------------------------------------------- button parts and icons

def button_background():
    """White disc with a soft light centre and a darker rim; tinted by the button colour."""
    size = 128
    image = Image.new("RGBA", (size * SCALE, size * SCALE), (0, 0, 0, 0))
    px = image.load()
    c = size * SCALE / 2
    radius = 62 * SCALE
    for y in range(size * SCALE):
        for x in range(size * SCALE):
            d = math.hypot(x + 0.5 - c, y + 0.5 - c)
            if d > radius:
                continue
            r = d / radius
            # Lit from the top left: brightest above the centre, shaded towards the rim.
            light = 1.0 - 0.25 * r * r - 0.08 * ((y - c) / radius)
            if r > 0.93:
                light = 0.62
            v = max(0, min(255, int(255 * light)))
            px[x, y] = (v, v, v, 255)
    return image.convert("RGBa").reduce(SCALE).convert("RGBA")


def icon_train():
    cv = Canvas(128)
    # Motion arcs behind the raised arm.
    cv.arc((46, 14, 110, 78), 250, 320, ORANGE, 5)
    cv.arc((40, 8, 116, 84), 255, 310, ORANGE, 4)
    cv.circle(58, 34, 9, fill=BLUE, width=3)                 # head
    cv.line([(58, 44), (58, 76)], INK, 7)                    # body
    cv.line([(58, 50), (82, 36), (92, 18)], INK, 6)          # raised arm
    cv.line([(58, 50), (40, 64), (34, 80)], INK, 6)          # lower arm
    cv.line([(58, 76), (46, 102)], INK, 7)                   # legs
    cv.line([(58, 76), (72, 102)], INK, 7)
    return cv.result()


def icon_plus():
    cv = Canvas(128)
    t = 11
    pts = [(64 - t, 30), (64 + t, 30), (64 + t, 64 - t), (98, 64 - t), (98, 64 + t),
           (64 + t, 64 + t), (64 + t, 98), (64 - t, 98), (64 - t, 64 + t), (30, 64 + t),
           (30, 64 - t), (64 - t, 64 - t)]
    cv.polygon(pts, GREEN, INK, 4)
    return cv.result()


def icon_minus():
    cv = Canvas(128)
    cv.rect((28, 53, 100, 75), RED, INK, 4, radius=3)
    return cv.result()


def arc_points(cx, cy, r, a0, a1, steps=40):
    """Points along a circle from a0 to a1 degrees (screen angles: 0 = right, 90 = down)."""
    return [(cx + r * math.cos(math.radians(a0 + (a1 - a0) * i / steps)),
             cy + r * math.sin(math.radians(a0 + (a1 - a0) * i / steps)))
            for i in range(steps + 1)]


def icon_replace():
    """Two arrows chasing each other round a circle."""
    cv = Canvas(128)
    r = 28
    for a0, a1 in ((200, 320), (20, 140)):
        pts = arc_points(64, 64, r, a0, a1)
        cv.line(pts, INK, 12)
        cv.line(pts, BLUE, 6)
    for a0, a1 in ((200, 320), (20, 140)):
        end = math.radians(a1 + 8)
        tip = (64 + r * math.cos(end) - 10 * math.sin(end), 64 + r * math.sin(end) + 10 * math.cos(end))
        cv.arrow_head(tip, a1 + 90, 22, 14, BLUE, INK, 3)
    return cv.result()


def icon_arrow(direction, double=False):
    """Left (-1) or right (+1) pointing arrow; double gives two chevrons."""
    cv = Canvas(128)

    def mx(x):
        return 128 - x if direction < 0 else x
    if double:
        for offset in (-16, 16):
            pts = [(44 + offset, 34), (74 + offset, 64), (44 + offset, 94), (30 + offset, 94),
                   (60 + offset, 64), (30 + offset, 34)]
            cv.polygon([(mx(x), y) for x, y in pts], BLUE, INK, 4)
    else:
        pts = [(30, 54), (64, 54), (64, 32), (98, 64), (64, 96), (64, 74), (30, 74)]
        cv.polygon([(mx(x), y) for x, y in pts], BLUE, INK, 4)
    return cv.result()


def icon_exit():
    """An open door with an arrow leaving through it."""
    cv = Canvas(128)
    cv.rect((32, 26, 74, 102), (235, 230, 220, 255), INK, 4)     # door frame
    cv.polygon([(32, 26), (56, 34), (56, 110), (32, 102)], WOOD, INK, 4)  # the opened door
    cv.circle(50, 70, 3, fill=INK, width=0)
    pts = [(60, 58), (82, 58), (82, 44), (104, 64), (82, 84), (82, 70), (60, 70)]
    cv.polygon(pts, RED, INK, 3.5)
    return cv.result()


def icon_new():
    """A fresh sheet with a folded corner and a green plus."""
    cv = Canvas(128)
    cv.polygon([(36, 24), (76, 24), (94, 42), (94, 104), (36, 104)], PAPER, INK, 4)
    cv.polygon([(76, 24), (76, 42), (94, 42)], (215, 215, 210, 255), INK, 3)
    for y in (56, 68, 80):
        cv.line([(46, y), (70, y)], GREY, 3)
    t = 6
    cx, cy = 82, 88
    pts = [(cx - t, cy - 18), (cx + t, cy - 18), (cx + t, cy - t), (cx + 18, cy - t),
           (cx + 18, cy + t), (cx + t, cy + t), (cx + t, cy + 18), (cx - t, cy + 18),
           (cx - t, cy + t), (cx - 18, cy + t), (cx - 18, cy - t), (cx - t, cy - t)]
    cv.polygon(pts, GREEN, INK, 3)
    return cv.result()


def icon_menu():
    cv = Canvas(128)
    for y in (40, 64, 88):
        cv.rect((30, y - 7, 98, y + 7), WHITE, INK, 4, radius=6)
    return cv.result()


def icon_camera():
    """A camera with an orbit arrow around it."""
    cv = Canvas(128)
    cv.arc((18, 30, 110, 100), 150, 390, ORANGE, 6)
    cv.arrow_head((101, 80), 115, 16, 10, ORANGE, INK, 2.5)
    cv.rect((36, 48, 92, 88), (70, 75, 85, 255), INK, 4, radius=6)
    cv.rect((48, 40, 66, 50), (70, 75, 85, 255), INK, 3, radius=2)
    cv.circle(64, 68, 14, fill=METAL, width=4)
    cv.circle(64, 68, 7, fill=(60, 110, 180, 255), width=2)
    cv.circle(84, 56, 3, fill=YELLOW, width=1.5)
    return cv.result()


def mountain(cv, peak_y=46, base_y=96, fill=EARTH):
    pts = [(22, base_y), (46, peak_y + 18), (62, peak_y), (80, peak_y + 22), (106, base_y)]
    cv.polygon(pts, fill, INK, 4)
    # Green foot.
    cv.polygon([(22, base_y), (34, base_y - 12), (94, base_y - 12), (106, base_y)],
               GRASS, INK, 3)


def icon_terra_brush():
    cv = Canvas(128)
    mountain(cv, peak_y=54)
    cv.line([(62, 50), (62, 22)], INK, 9)
    cv.line([(62, 50), (62, 22)], GREEN, 4, round_caps=False)
    cv.arrow_head((62, 12), -90, 16, 12, GREEN, INK, 3)
    return cv.result()


def icon_smooth_brush():
    cv = Canvas(128)
    # Rough line above, smooth wave below, an arrow between them.
    rough = [(24, 42), (32, 30), (38, 46), (46, 28), (54, 44), (62, 26), (70, 46), (78, 30),
             (86, 44), (94, 28), (104, 40)]
    cv.line(rough, GREY, 4)
    wave = [(24 + i, 86 - 10 * math.sin((i / 80.0) * math.pi * 2)) for i in range(0, 81, 2)]
    cv.line(wave, INK, 11)
    cv.line(wave, (60, 170, 200, 255), 5)
    cv.line([(64, 50), (64, 62)], INK, 5)
    cv.arrow_head((64, 72), 90, 10, 8, INK, INK, 1)
    return cv.result()


def icon_randomize_brush():
    cv = Canvas(128)
    rng = random.Random(7)
    pts = [(22, 100)]
    x = 22
    while x < 106:
        pts.append((x, rng.uniform(46, 78)))
        x += rng.uniform(5, 9)
    pts += [(106, rng.uniform(50, 75)), (106, 100)]
    cv.polygon(pts, EARTH, INK, 3)
    # A die in the top corner.
    cv.rect((70, 14, 104, 48), WHITE, INK, 3.5, radius=6)
    for dx, dy in ((-9, -9), (0, 0), (9, 9)):
        cv.circle(87 + dx, 31 + dy, 3.2, fill=INK, width=0)
    return cv.result()


def icon_bulldoze_brush():
    cv = Canvas(128)
    # Flattened ground in front of a bulldozer.
    cv.polygon([(16, 104), (16, 86), (110, 86), (110, 104)], EARTH, INK, 3)
    cv.rect((40, 64, 92, 84), INK, INK, 2, radius=10)              # tracks
    for x in (50, 66, 82):
        cv.circle(x, 74, 5, fill=GREY, width=2)
    cv.rect((48, 40, 86, 64), YELLOW, INK, 3.5, radius=3)           # body
    cv.rect((58, 26, 80, 42), YELLOW, INK, 3.5, radius=2)           # cab
    cv.rect((62, 30, 76, 38), (170, 215, 235, 255), INK, 2)         # window
    cv.line([(48, 56), (34, 66)], INK, 5)                           # arm
    cv.polygon([(22, 48), (32, 48), (36, 84), (20, 84)], METAL, INK, 3.5)  # blade
    return cv.result()


def icon_dump_brush():
    cv = Canvas(128)
    cv.polygon([(18, 102), (44, 72), (64, 62), (84, 72), (110, 102)], EARTH, INK, 4)
    rng = random.Random(11)
    for _ in range(9):
        x = rng.uniform(50, 78)
        y = rng.uniform(22, 52)
        r = rng.uniform(3, 5)
        cv.circle(x, y, r, fill=BROWN, width=2)
    cv.arrow_head((64, 60), 90, 10, 9, INK, INK, 1)
    return cv.result()


def icon_manipulator():
    cv = Canvas(128)
    t = 6
    cv.polygon([(64 - t, 36), (64 + t, 36), (64 + t, 64 - t), (92, 64 - t), (92, 64 + t),
                (64 + t, 64 + t), (64 + t, 92), (64 - t, 92), (64 - t, 64 + t), (36, 64 + t),
                (36, 64 - t), (64 - t, 64 - t)], BLUE, INK, 3)
    for direction, tip in ((-90, (64, 18)), (90, (64, 110)), (180, (18, 64)), (0, (110, 64))):
        cv.arrow_head(tip, direction, 22, 15, BLUE, INK, 3)
    cv.circle(64, 64, 9, fill=WHITE, width=3)
    return cv.result()


def icon_colorpicker():
    """A hue wheel with a white centre."""
    cv = Canvas(128)
    n = 12
    for i in range(n):
        hue = i / n
        r, g, b = hsv_to_rgb(hue, 0.85, 0.95)
        cv.draw.pieslice([24 * SCALE, 24 * SCALE, 104 * SCALE, 104 * SCALE],
                         i * 360 / n - 90, (i + 1) * 360 / n - 90, fill=(r, g, b, 255))
    cv.circle(64, 64, 40, fill=None, width=4)
    cv.circle(64, 64, 13, fill=WHITE, width=3)
    return cv.result()


def hsv_to_rgb(h, s, v):
    i = int(h * 6) % 6
    f = h * 6 - int(h * 6)
    p, q, t = v * (1 - s), v * (1 - f * s), v * (1 - (1 - f) * s)
    r, g, b = [(v, t, p), (q, v, p), (p, v, t), (p, q, v), (t, p, v), (v, p, q)][i]
    return int(r * 255), int(g * 255), int(b * 255)


def rotated(points, deg, cx=64, cy=64):
    a = math.radians(deg)
    c, s = math.cos(a), math.sin(a)
    return [(cx + (x - cx) * c - (y - cy) * s, cy + (x - cx) * s + (y - cy) * c)
            for x, y in points]


def icon_brushtool():
    """A paint brush lying diagonally, bristles at the lower left."""
    cv = Canvas(128)
    angle = -45
    handle = [(58, 16), (70, 16), (68, 62), (60, 62)]
    ferrule = [(57, 62), (71, 62), (72, 80), (56, 80)]
    bristles = [(56, 80), (72, 80), (74, 96), (64, 112), (54, 96)]
    cv.polygon(rotated(handle, angle), WOOD, INK, 3.5)
    cv.polygon(rotated(ferrule, angle), METAL, INK, 3.5)
    cv.polygon(rotated(bristles, angle), (0, 140, 190, 255), INK, 3.5)
    return cv.result()


def icon_straightline():
    cv = Canvas(128)
    cv.line([(30, 98), (98, 30)], INK, 8)
    cv.line([(30, 98), (98, 30)], (0, 140, 190, 255), 4)
    cv.circle(30, 98, 9, fill=WHITE, width=4)
    cv.circle(98, 30, 9, fill=WHITE, width=4)
    return cv.result()


def icon_filltool():
    """A tilted paint bucket pouring paint into a puddle."""
    cv = Canvas(128)
    paint = (0, 140, 190, 255)
    tilt, cx, cy = 45, 50, 58
    handle = rotated(arc_points(56, 42, 24, 180, 360), tilt, cx, cy)
    cv.line(handle, INK, 5)
    lip = rotated([(32, 42), (80, 42)], tilt, cx, cy)
    cv.ellipse((lip[1][0] - 14, 98, lip[1][0] + 22, 110), fill=paint, width=3)
    cv.line([lip[1], (lip[1][0] + 4, 102)], INK, 10)
    cv.line([lip[1], (lip[1][0] + 4, 102)], paint, 5)
    cv.polygon(rotated([(32, 42), (80, 42), (74, 98), (38, 98)], tilt, cx, cy), METAL, INK, 4)
    cv.polygon(rotated([(34, 42), (78, 42), (77, 50), (35, 50)], tilt, cx, cy), paint, INK, 3)
    return cv.result()


def icon_rubbertool():
    cv = Canvas(128)
    body = [(40, 52), (96, 52), (96, 80), (40, 80)]
    tip = [(28, 52), (48, 52), (48, 80), (28, 80)]
    cv.polygon(rotated(body, -35), PINK, INK, 4)
    cv.polygon(rotated(tip, -35), (245, 240, 235, 255), INK, 4)
    cv.line([(20, 104), (60, 104)], GREY, 4)   # what it rubbed out
    return cv.result()


def icon_trashtool():
    cv = Canvas(128)
    cv.rect((54, 18, 74, 28), METAL, INK, 3.5, radius=3)         # lid handle
    cv.rect((32, 26, 96, 38), METAL, INK, 4, radius=3)           # lid
    cv.polygon([(38, 40), (90, 40), (84, 106), (44, 106)], METAL, INK, 4)
    for x0, x1 in ((52, 54), (64, 64), (76, 74)):
        cv.line([(x0, 50), (x1, 96)], INK, 4)
    return cv.result()


# ---------------------------------------------------------------- pointers and digits

def pointer_default():
    """A white dot with a dark rim: tinted by the hand's colour."""
    cv = Canvas(64)
    cv.circle(32, 32, 26, fill=WHITE, outline=INK, width=6)
    return cv.result()


def pointer_closed_hand():
    """A ring with four inward ticks, drawn twice the dot's size around it while gripping."""
    cv = Canvas(64)
    cv.circle(32, 32, 27, fill=None, outline=INK, width=8)
    cv.circle(32, 32, 27, fill=None, outline=WHITE, width=4)
    for a in (0, 90, 180, 270):
        r = math.radians(a)
        p0 = (32 + 27 * math.cos(r), 32 + 27 * math.sin(r))
        p1 = (32 + 17 * math.cos(r), 32 + 17 * math.sin(r))
        cv.line([p0, p1], INK, 7)
        cv.line([p0, p1], WHITE, 3)
    return cv.result()


DIGIT_NAMES = ["zero", "one", "two", "three", "four", "five", "six", "seven", "eight", "nine"]


def digit(d):
    """A white bold digit with a dark outline, centred; countdown tints and fades it."""
    size = 256
    image = Image.new("RGBA", (size * SCALE, size * SCALE), (0, 0, 0, 0))
    draw = ImageDraw.Draw(image)
    font = ImageFont.truetype(FONT_BOLD, 210 * SCALE)
    draw.text((size * SCALE / 2, size * SCALE / 2), str(d), font=font, anchor="mm",
              fill=WHITE, stroke_width=8 * SCALE, stroke_fill=INK)
    return image.convert("RGBa").reduce(SCALE).convert("RGBA")


# ---------------------------------------------------------------- backgrounds and masks

def training_bg():
    """Pale backdrop of the training screen: a soft gradient with a faint grid."""
    w, h = 1024, 512
    image = Image.new("RGB", (w, h))
    px = image.load()
    for y in range(h):
        t = y / (h - 1)
        base = (int(252 - 22 * t), int(253 - 12 * t), 255)
        for x in range(w):
            px[x, y] = base
    draw = ImageDraw.Draw(image)
    for x in range(0, w, 64):
        draw.line([(x, 0), (x, h)], fill=(214, 226, 238))
    for y in range(0, h, 64):
        draw.line([(0, y), (w, y)], fill=(214, 226, 238))
    # A floor line where the recorded figure stands.
    draw.line([(0, int(h * 0.86)), (w, int(h * 0.86))], fill=(170, 190, 210), width=3)
    return image


def frame():
    """White inside a dark frame: the colour swatch tints the inside."""
    cv = Canvas(128, background=(0, 0, 0, 0))
    cv.rect((2, 2, 126, 126), INK, None, 0, radius=10)
    cv.rect((12, 12, 116, 116), WHITE, None, 0, radius=4)
    return cv.result()


def grey512():
    return Image.new("RGB", (512, 512), (170, 170, 170))


def colorbrush_half_sharp():
    """White, alpha 1 out to half the radius, then a smooth fall to 0 at the edge."""
    size = 128
    image = Image.new("RGBA", (size, size))
    px = image.load()
    c = size / 2
    for y in range(size):
        for x in range(size):
            r = math.hypot(x + 0.5 - c, y + 0.5 - c) / c
            if r <= 0.5:
                a = 1.0
            elif r >= 1.0:
                a = 0.0
            else:
                a = 0.5 + 0.5 * math.cos((r - 0.5) / 0.5 * math.pi)
            px[x, y] = (255, 255, 255, int(round(a * 255)))
    return image


# ---------------------------------------------------------------- font atlases

def font_atlas(glyphs, boundaries):
    """White glyphs on transparent, glyph k inside [boundaries[k], boundaries[k+1]] of the width.

    All glyphs share one baseline so that mixed capitals and small letters line up; a glyph
    wider than its slot is narrowed to fit."""
    W, H = ATLAS_WIDTH * SCALE, ATLAS_HEIGHT * SCALE
    atlas = Image.new("L", (W, H), 0)
    margin = 2 * SCALE
    size = H
    font = ImageFont.truetype(FONT_BOLD, size)
    while True:
        ascent, descent = font.getmetrics()
        if ascent + descent <= H - 2 * margin:
            break
        size -= 2
        font = ImageFont.truetype(FONT_BOLD, size)
    baseline = margin + ascent
    pad = 1.5 * SCALE
    for k, ch in enumerate(glyphs):
        if ch == " ":
            continue
        x0 = boundaries[k] * W
        x1 = boundaries[k + 1] * W
        room = int(x1 - x0 - 2 * pad)
        tmp = Image.new("L", (size * 2, H), 0)
        ImageDraw.Draw(tmp).text((size // 2, baseline), ch, font=font, anchor="ls", fill=255)
        bbox = tmp.getbbox()
        if bbox is None:
            continue
        ink = tmp.crop((bbox[0], 0, bbox[2], H))
        if ink.width > room:
            ink = ink.resize((room, H), Image.LANCZOS)
        left = int(math.ceil(x0 + pad + (room - ink.width) / 2))
        atlas.paste(255, (left, 0), ink)
    small = atlas.reduce(SCALE)
    white = Image.new("RGBA", small.size, (255, 255, 255, 0))
    white.putalpha(small)
    return white


# ---------------------------------------------------------------- the list

def all_images():
    images = {
        "button_background.png": button_background,
        "train_button.png": icon_train,
        "add_button.png": icon_plus,
        "remove_button.png": icon_minus,
        "replace_button.png": icon_replace,
        "prev_button.png": lambda: icon_arrow(-1),
        "next_button.png": lambda: icon_arrow(+1),
        "prev2_button.png": lambda: icon_arrow(-1, double=True),
        "next2_button.png": lambda: icon_arrow(+1, double=True),
        "exit_button.png": icon_exit,
        "new_button.png": icon_new,
        "menu_button.png": icon_menu,
        "camera_3d.png": icon_camera,
        "terra_brush.png": icon_terra_brush,
        "smooth_brush.png": icon_smooth_brush,
        "randomize_brush.png": icon_randomize_brush,
        "bulldoze_brush.png": icon_bulldoze_brush,
        "dump_brush.png": icon_dump_brush,
        "manipulator.png": icon_manipulator,
        "colorpicker.png": icon_colorpicker,
        "brushtool.png": icon_brushtool,
        "straightline.png": icon_straightline,
        "filltool.png": icon_filltool,
        "rubbertool.png": icon_rubbertool,
        "trashtool.png": icon_trashtool,
        "pointer_default.png": pointer_default,
        "pointer_closed_hand.png": pointer_closed_hand,
        "training_bg.png": training_bg,
        "frame.png": frame,
        "grey512.png": grey512,
        "colorbrush_half_sharp.png": colorbrush_half_sharp,
        "capitals.png": lambda: font_atlas(CAPITAL_GLYPHS, CAPITAL_BOUNDARIES),
        "minuscules.png": lambda: font_atlas(MINUSCULE_GLYPHS, MINUSCULE_BOUNDARIES),
    }
    for d, name in enumerate(DIGIT_NAMES):
        images[name + ".png"] = (lambda d=d: digit(d))
    return images


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "images")
    os.makedirs(out, exist_ok=True)
    only = set(sys.argv[2:])
    for name, make in sorted(all_images().items()):
        if only and name not in only:
            continue
        save(make(), out, name)
        print(name)


if __name__ == "__main__":
    main()
