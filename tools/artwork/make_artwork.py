#!/usr/bin/env python3
"""Draws the launcher's artwork: res/banner.png and res/app.ico.

Run by hand from the repository root (not part of the build or CI):

    python3 tools/artwork/make_artwork.py            # writes res/banner.png and res/app.ico
    python3 tools/artwork/make_artwork.py --check    # only re-reads and checks the two files
    python3 tools/artwork/make_artwork.py --out DIR  # writes into DIR instead of res/

Needs Python 3 (standard library only) and ImageMagick's `convert` (or `magick`) on PATH, which
only rasterises the wordmark's letters from the URW Gothic Demi font (Debian's fonts-urw-base35).
The logo mark is drawn here from signed distance fields, so every size is anti-aliased exactly
and the small icon sizes can be tuned by hand.
"""

import argparse
import math
import os
import shutil
import struct
import subprocess
import sys
import zlib

BANNER_SIZE = (1626, 466)
ICON_SIZES = (16, 24, 32, 48, 64, 256)
FONT = "/usr/share/fonts/X11/Type1/URWGothic-Demi.pfb"
WORDMARK = "Quorvel"

# Palette: a deep blue into teal along the mark's diagonal; the wordmark is near-black navy so it
# keeps its contrast on the dialog's white background when shown seven times smaller.
BLUE = (0x1D, 0x4E, 0xD8)
TEAL = (0x0B, 0xA5, 0x9A)
INK = (0x10, 0x22, 0x3C)


# ---------------------------------------------------------------------------------------------
# The mark: a ring (the bowl of a Q) whose tail is a download arrow crossing it at the lower
# right, with a clear gap cut around the arrow. Coordinates are in a unit square, y down.

class MarkStyle:
    """Geometry of the mark; small icon sizes get thicker strokes and a simpler, wider gap."""

    def __init__(self, stroke=0.15, radius=0.325, centre=(0.474, 0.43), arrow_x=0.749,
                 shaft_top=0.56, shaft_w=None, head_w=0.36, head_h=0.19, tip_y=0.985,
                 gap=0.05, round_r=0.012):
        self.stroke = stroke          # ring thickness
        self.radius = radius          # radius of the ring's centre line
        self.centre = centre
        self.arrow_x = arrow_x        # arrow's vertical axis
        self.shaft_top = shaft_top
        self.shaft_w = shaft_w if shaft_w is not None else stroke
        self.head_w = head_w
        self.head_h = head_h
        self.tip_y = tip_y
        self.gap = gap                # clearance between arrow and ring
        self.round_r = round_r        # corner rounding of the arrow

    def arrow_polygon(self):
        x, r = self.arrow_x, self.round_r
        hw = self.shaft_w / 2 - r
        hh = self.head_w / 2 - r
        tip = self.tip_y - r * 1.6
        base = self.tip_y - self.head_h
        top = self.shaft_top + r
        return [(x - hw, top), (x + hw, top), (x + hw, base), (x + hh, base),
                (x, tip), (x - hh, base), (x - hw, base)]

    def cut_polygon(self):
        """Wedge from the shaft's top-left corner: level with the shaft's top to the right and
        along the head's upper-left edge downwards, so the ring ends in two straight cuts."""
        pts = self.arrow_polygon()
        (ax, ay), (lx, ly) = pts[0], pts[5]
        return [(ax, ay), (ax + 1.0, ay), (ax + 1.0, ay + 1.5),
                (ax + (lx - ax) * 4.0, ay + (ly - ay) * 4.0)]


def polygon_sdf(px, py, pts):
    """Signed distance to a simple polygon (negative inside)."""
    d = float("inf")
    inside = False
    n = len(pts)
    for i in range(n):
        ax, ay = pts[i]
        bx, by = pts[i - 1]
        ex, ey = bx - ax, by - ay
        wx, wy = px - ax, py - ay
        t = max(0.0, min(1.0, (wx * ex + wy * ey) / (ex * ex + ey * ey)))
        dx, dy = wx - ex * t, wy - ey * t
        dd = dx * dx + dy * dy
        if dd < d:
            d = dd
        if (ay > py) != (by > py) and px < (bx - ax) * (py - ay) / (by - ay) + ax:
            inside = not inside
    d = math.sqrt(d)
    return -d if inside else d


def clamp01(v):
    return 0.0 if v < 0.0 else 1.0 if v > 1.0 else v


def lerp_colour(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def render_mark(size, style, snap=False):
    """Returns size*size RGBA pixels (float colour 0..255, alpha 0..1) of the mark."""
    cx, cy = style.centre
    poly = style.arrow_polygon()
    hull = style.cut_polygon()
    if snap:
        # Put the shaft's edges on pixel boundaries so small icons keep a crisp arrow.
        w = max(1, round(style.shaft_w * size))
        left = round(style.arrow_x * size - w / 2)
        shift = (left + w / 2) / size - style.arrow_x
        poly = [(x + shift, y) for x, y in poly]
        hull = [(x + shift, y) for x, y in hull]
    scale = size  # pixels per unit
    half_ring = style.stroke / 2
    pixels = []
    for j in range(size):
        py = (j + 0.5) / scale
        for i in range(size):
            px = (i + 0.5) / scale
            ring_d = abs(math.hypot(px - cx, py - cy) - style.radius) - half_ring
            arrow_d = polygon_sdf(px, py, poly) - style.round_r
            ring_cov = clamp01(0.5 - ring_d * scale)
            hull_d = polygon_sdf(px, py, hull) - style.round_r
            cut = clamp01((hull_d - style.gap) * scale + 0.5)
            arrow_cov = clamp01(0.5 - arrow_d * scale)
            alpha = max(ring_cov * cut, arrow_cov)
            # Gradient runs from the top-left to the bottom-right corner.
            t = clamp01((px + py - 0.25) / 1.45)
            pixels.append(lerp_colour(BLUE, TEAL, t) + (alpha,))
    return pixels


# Per-size tuning: at 16-32 px every edge is placed on whole pixels, the strokes are a larger
# share of the box and the arrow head is wider, so the shape stays crisp and its direction reads.
ICON_STYLES = {
    # 16 px: 3 px ring and shaft on whole pixels, a 9 px head; the gaps end on pixel rows.
    16: MarkStyle(stroke=3 / 16, radius=5 / 16, centre=(6.5 / 16, 6.5 / 16), arrow_x=11.5 / 16,
                  shaft_w=3 / 16, shaft_top=8 / 16, head_w=9 / 16, head_h=5 / 16, tip_y=1.0,
                  gap=2 / 16, round_r=0.0),
    # 24 px: 4 px strokes, 12 px head.
    24: MarkStyle(stroke=4 / 24, radius=8 / 24, centre=(10 / 24, 10 / 24), arrow_x=17 / 24,
                  shaft_w=4 / 24, shaft_top=12 / 24, head_w=12 / 24, head_h=7 / 24, tip_y=1.0,
                  gap=2 / 24, round_r=0.0),
    # 32 px: 5 px strokes, 15 px head.
    32: MarkStyle(stroke=5 / 32, radius=11 / 32, centre=(13.5 / 32, 13.5 / 32),
                  arrow_x=22.5 / 32, shaft_w=5 / 32, shaft_top=16 / 32, head_w=15 / 32,
                  head_h=8 / 32, tip_y=31.5 / 32, gap=2 / 32, round_r=0.0),
    48: MarkStyle(stroke=0.155, gap=0.05),
    64: MarkStyle(stroke=0.15, gap=0.05),
    256: MarkStyle(),
}
BANNER_STYLE = MarkStyle(stroke=0.155)


# ---------------------------------------------------------------------------------------------
# PNG and ICO writing/reading.

def png_bytes(width, height, rgba_rows):
    """8-bit RGBA PNG from rows of bytes (width*4 each)."""
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    raw = b"".join(b"\x00" + bytes(row) for row in rgba_rows)
    ihdr = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr)
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def png_header(data):
    """(width, height, bit depth, colour type) of a PNG, or raises ValueError."""
    if data[:8] != b"\x89PNG\r\n\x1a\n" or data[12:16] != b"IHDR":
        raise ValueError("not a PNG")
    return struct.unpack(">IIBB", data[16:26])


def to_rows(width, height, pixels):
    """Float RGBA pixels to rows of 8-bit straight-alpha RGBA bytes; colour of empty pixels is 0."""
    rows = []
    for j in range(height):
        row = bytearray(width * 4)
        for i in range(width):
            r, g, b, a = pixels[j * width + i]
            a8 = int(round(a * 255))
            if a8:
                row[i * 4:i * 4 + 4] = bytes((int(round(r)), int(round(g)), int(round(b)), a8))
        rows.append(row)
    return rows


def ico_bytes(images):
    """Windows icon holding each (size, png) pair PNG-compressed; 256 is stored as 0."""
    header = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries, payload = b"", b""
    for size, png in images:
        dim = 0 if size >= 256 else size
        entries += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(png), offset)
        offset += len(png)
        payload += png
    return header + entries + payload


def read_ico(data):
    """[(size, png bytes)] of an icon file, checking every entry; raises ValueError."""
    reserved, kind, count = struct.unpack("<HHH", data[:6])
    if reserved != 0 or kind != 1 or count == 0:
        raise ValueError("not an icon file")
    out = []
    for k in range(count):
        w, h, colours, _, planes, bpp, length, offset = struct.unpack(
            "<BBBBHHII", data[6 + 16 * k:22 + 16 * k])
        png = data[offset:offset + length]
        if len(png) != length:
            raise ValueError("entry %d runs past the end of the file" % k)
        pw, ph, depth, ctype = png_header(png)
        size = w or 256
        if (w or 256) != pw or (h or 256) != ph or depth != 8 or ctype != 6 or bpp != 32:
            raise ValueError("entry %d: directory says %dx%d/%d bpp, PNG is %dx%d depth %d type %d"
                             % (k, w or 256, h or 256, bpp, pw, ph, depth, ctype))
        out.append((size, png))
    return out


# ---------------------------------------------------------------------------------------------
# Banner.

def magick():
    for name in ("magick", "convert"):
        path = shutil.which(name)
        if path:
            return [path]
    sys.exit("ImageMagick (convert or magick) is needed to rasterise the wordmark")


def text_mask(text, pointsize, width, height, baseline):
    """Grey coverage (0..255 bytes) of `text` drawn with its baseline at y=baseline, x from 0."""
    cmd = magick() + ["-size", "%dx%d" % (width, height), "xc:black", "-font", FONT,
                      "-pointsize", str(pointsize), "-fill", "white", "-kerning", str(pointsize // 40),
                      "-annotate", "+0+%d" % baseline, text, "-depth", "8", "gray:-"]
    data = subprocess.run(cmd, check=True, stdout=subprocess.PIPE).stdout
    if len(data) != width * height:
        sys.exit("unexpected raster size from ImageMagick")
    return data


def mask_bounds(mask, width, height):
    xs = [i for i in range(width) if any(mask[j * width + i] for j in range(height))]
    ys = [j for j in range(height) if any(mask[j * width:(j + 1) * width])]
    return xs[0], ys[0], xs[-1] + 1, ys[-1] + 1


def box_sdf(px, py, ax, ay, bx, by, half_w):
    """Signed distance to the bar from a to b, half_w thick on each side, with square ends."""
    length = math.hypot(bx - ax, by - ay)
    ux, uy = (bx - ax) / length, (by - ay) / length
    mx, my = px - (ax + bx) / 2, py - (ay + by) / 2
    qu = abs(mx * ux + my * uy) - length / 2
    qv = abs(-mx * uy + my * ux) - half_w
    outside = math.hypot(max(qu, 0.0), max(qv, 0.0))
    return outside + min(max(qu, qv), 0.0)


def wordmark_mask(pointsize, width, height, baseline):
    """Coverage (0..1) of the wordmark. The font's own Q has a swash tail that fights the mark,
    so the word is set with an O and given a plain diagonal tail with the letters' stroke."""
    word = text_mask("O" + WORDMARK[1:], pointsize, width, height, baseline)
    o_mask = text_mask("O", pointsize, width, height, baseline)
    x0, y0, x1, y1 = mask_bounds(o_mask, width, height)
    mid = (y0 + y1) // 2
    stroke = sum(1 for i in range(x0, x1) if o_mask[mid * width + i] > 127) / 2
    cx, cy, r = (x0 + x1) / 2, (y0 + y1) / 2, (x1 - x0) / 2
    diag = math.sqrt(0.5)
    ax, ay = cx + 0.42 * r * diag, cy + 0.42 * r * diag
    bx, by = cx + 1.38 * r * diag, cy + 1.38 * r * diag
    cover = [v / 255.0 for v in word]
    for j in range(int(ay - stroke), min(height, int(by + stroke) + 2)):
        for i in range(int(ax - stroke), min(width, int(bx + stroke) + 2)):
            d = box_sdf(i + 0.5, j + 0.5, ax, ay, bx, by, stroke / 2)
            c = clamp01(0.5 - d)
            k = j * width + i
            if c > cover[k]:
                cover[k] = c
    return cover


def make_banner():
    bw, bh = BANNER_SIZE
    mark_size = 400
    gap = 72      # between the arrow's head and the Q
    margin = 36   # left and right of the drawn shapes
    mark = render_mark(mark_size, BANNER_STYLE)
    drawn = [i for i in range(mark_size)
             if any(mark[j * mark_size + i][3] > 0 for j in range(mark_size))]
    mark_x0, mark_w = drawn[0], drawn[-1] + 1 - drawn[0]

    cw, ch, baseline = 1500, 466, 340
    # Size the letters so the mark and the wordmark together fill the width between the margins.
    probe = 300
    pw0, _, pw1, _ = mask_bounds(wordmark_mask(probe, cw, ch, baseline), cw, ch)
    pointsize = int(probe * (bw - 2 * margin - mark_w - gap) / (pw1 - pw0))
    # Cap height from a plain "H" so the letters centre on the ring, not on the Q's tail.
    cap = mask_bounds(text_mask("H", pointsize, cw, ch, baseline), cw, ch)
    cap_top, cap_bottom = cap[1], cap[3]
    word = wordmark_mask(pointsize, cw, ch, baseline)
    wx0, wy0, wx1, wy1 = mask_bounds(word, cw, ch)

    group_w = mark_w + gap + (wx1 - wx0)
    left = (bw - group_w) // 2 - mark_x0
    mark_top = (bh - mark_size) // 2
    ring_mid = mark_top + BANNER_STYLE.centre[1] * mark_size
    text_dy = int(round(ring_mid - (cap_top + cap_bottom) / 2))
    text_dx = left + mark_x0 + mark_w + gap - wx0
    if not (0 <= left + mark_x0 and wy0 + text_dy >= 0 and wy1 + text_dy <= bh
            and text_dx + wx1 <= bw):
        sys.exit("wordmark does not fit the banner")

    pixels = [(0.0, 0.0, 0.0, 0.0)] * (bw * bh)
    for j in range(mark_size):
        for i in range(mark_size):
            p = mark[j * mark_size + i]
            if p[3] > 0:
                pixels[(mark_top + j) * bw + left + i] = p
    for j in range(wy0, wy1):
        y = j + text_dy
        for i in range(wx0, wx1):
            v = word[j * cw + i]
            if v:
                pixels[y * bw + i + text_dx] = INK + (v,)
    return png_bytes(bw, bh, to_rows(bw, bh, pixels))


def make_icon():
    images = []
    for size in ICON_SIZES:
        px = render_mark(size, ICON_STYLES[size], snap=size <= 32)
        images.append((size, png_bytes(size, size, to_rows(size, size, px))))
    return ico_bytes(images)


def check(out_dir):
    with open(os.path.join(out_dir, "banner.png"), "rb") as f:
        w, h, depth, ctype = png_header(f.read())
    if (w, h) != BANNER_SIZE or depth != 8 or ctype != 6:
        sys.exit("banner.png is %dx%d depth %d colour type %d" % (w, h, depth, ctype))
    with open(os.path.join(out_dir, "app.ico"), "rb") as f:
        sizes = [s for s, _ in read_ico(f.read())]
    if sizes != list(ICON_SIZES):
        sys.exit("app.ico holds sizes %s" % sizes)
    print("banner.png %dx%d RGBA8; app.ico sizes %s, all PNG RGBA8" % (w, h, sizes))


def main():
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", default=os.path.join(root, "res"))
    parser.add_argument("--check", action="store_true")
    args = parser.parse_args()
    if not args.check:
        os.makedirs(args.out, exist_ok=True)
        with open(os.path.join(args.out, "app.ico"), "wb") as f:
            f.write(make_icon())
        with open(os.path.join(args.out, "banner.png"), "wb") as f:
            f.write(make_banner())
    check(args.out)


if __name__ == "__main__":
    main()
