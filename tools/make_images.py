#!/usr/bin/env python3
"""Draws the program's icon (res/korvane.ico) and toolbar bitmap (res/toolbar.bmp).

Both use the 16-colour VGA palette; shapes are drawn at 4x and reduced by
majority vote so that curves stay clean at 16 and 32 pixels."""
import struct, sys, os

PAL = [(0,0,0),(128,0,0),(0,128,0),(128,128,0),(0,0,128),(128,0,128),(0,128,128),(192,192,192),
       (128,128,128),(255,0,0),(0,255,0),(255,255,0),(0,0,255),(255,0,255),(0,255,255),(255,255,255)]
BLACK, MAROON, GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER, GRAY, RED, LIME, YELLOW, BLUE, FUCHSIA, AQUA, WHITE = range(16)
SS = 4

class Canvas:
    def __init__(self, w, h, bg):
        self.w, self.h = w, h
        self.px = [[bg] * (w * SS) for _ in range(h * SS)]
    def shape(self, inside, colour):
        for y in range(self.h * SS):
            fy = (y + 0.5) / SS
            row = self.px[y]
            for x in range(self.w * SS):
                if inside((x + 0.5) / SS, fy):
                    row[x] = colour
    def circle(self, cx, cy, r, colour, r0=0.0):
        self.shape(lambda x, y: r0 * r0 <= (x - cx) ** 2 + (y - cy) ** 2 <= r * r, colour)
    def rect(self, x0, y0, x1, y1, colour):
        self.shape(lambda x, y: x0 <= x < x1 and y0 <= y < y1, colour)
    def poly(self, pts, colour):
        def inside(x, y):
            c = False
            for i in range(len(pts)):
                (ax, ay), (bx, by) = pts[i], pts[i - 1]
                if (ay > y) != (by > y) and x < (bx - ax) * (y - ay) / (by - ay) + ax:
                    c = not c
            return c
        self.shape(inside, colour)
    def pixels(self):
        out = []
        for y in range(self.h):
            row = []
            for x in range(self.w):
                counts = {}
                for sy in range(SS):
                    for sx in range(SS):
                        c = self.px[y * SS + sy][x * SS + sx]
                        counts[c] = counts.get(c, 0) + 1
                row.append(max(counts, key=lambda c: (counts[c], -c)))
            out.append(row)
        return out

def cd(c, cx, cy, r, arrow=True):
    # No silver on the disc: the toolbar maps silver to the button face colour.
    c.circle(cx, cy, r + 0.8, GRAY)
    c.circle(cx, cy, r, WHITE)
    c.circle(cx, cy, r * 0.82, AQUA, r * 0.66)
    c.circle(cx, cy, r * 0.66, TEAL, r * 0.58)
    c.circle(cx, cy, r * 0.34, GRAY)
    c.circle(cx, cy, r * 0.26, WHITE)
    c.circle(cx, cy, r * 0.14, c_bg(c))
    if arrow:
        s = r * 0.95
        ax, ay = cx + r * 0.35, cy + r * 0.35
        c.poly([(ax - s * 0.35, ay - s * 0.5), (ax - s * 0.35, ay + s * 0.5), (ax + s * 0.55, ay)], BLACK)
        c.poly([(ax - s * 0.27, ay - s * 0.36), (ax - s * 0.27, ay + s * 0.36), (ax + s * 0.40, ay)], GREEN)

def c_bg(c):
    return c.bg

def printer(c, ox):
    c.rect(ox + 20, 6, ox + 44, 20, BLACK); c.rect(ox + 21, 7, ox + 43, 20, WHITE)          # paper in
    c.rect(ox + 10, 18, ox + 54, 36, BLACK); c.rect(ox + 11, 19, ox + 53, 35, GRAY)         # body
    c.rect(ox + 11, 19, ox + 53, 22, WHITE)
    c.rect(ox + 46, 24, ox + 50, 27, LIME)                                                  # power lamp
    c.rect(ox + 17, 30, ox + 47, 44, BLACK); c.rect(ox + 18, 30, ox + 46, 43, WHITE)        # paper out
    for y in (33, 36, 39):
        c.rect(ox + 21, y, ox + 43, y + 1, NAVY)

def question(c, ox):
    c.circle(ox + 32, 24, 20, NAVY)
    c.circle(ox + 32, 24, 18.5, BLUE)
    c.circle(ox + 32, 18, 8.5, WHITE, 4.2)
    c.rect(ox + 20, 18, ox + 32, 27, BLUE)           # open the hook on the lower left
    c.rect(ox + 30, 23, ox + 35, 30, WHITE)
    c.circle(ox + 32.5, 35, 2.8, WHITE)

def write_bmp4(path, pixels):
    h, w = len(pixels), len(pixels[0])
    stride = ((w * 4 + 31) // 32) * 4
    data = bytearray()
    for row in reversed(pixels):
        line = bytearray()
        for i in range(0, w, 2):
            line.append((row[i] << 4) | (row[i + 1] if i + 1 < w else 0))
        line += b"\0" * (stride - len(line))
        data += line
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PAL)
    off = 14 + 40 + len(pal)
    with open(path, "wb") as f:
        f.write(b"BM" + struct.pack("<IHHI", off + len(data), 0, 0, off))
        f.write(struct.pack("<IiiHHIIiiII", 40, w, h, 1, 4, 0, len(data), 2835, 2835, 16, 0))
        f.write(pal + data)

def icon_image(pixels, mask):
    h, w = len(pixels), len(pixels[0])
    stride = ((w * 4 + 31) // 32) * 4
    xor = bytearray()
    for row in reversed(pixels):
        line = bytearray((row[i] << 4) | row[i + 1] for i in range(0, w, 2))
        xor += line + b"\0" * (stride - len(line))
    mstride = ((w + 31) // 32) * 4
    andm = bytearray()
    for row in reversed(mask):
        line = bytearray()
        for i in range(0, w, 8):
            b = 0
            for k in range(8):
                b = (b << 1) | (1 if row[i + k] else 0)
            line.append(b)
        andm += line + b"\0" * (mstride - len(line))
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PAL)
    hdr = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 4, 0, len(xor) + len(andm), 0, 0, 16, 0)
    return hdr + pal + bytes(xor) + bytes(andm)

def make_icon(size):
    bg = 99                      # transparent marker, outside the palette
    c = Canvas(size, size, bg)
    c.bg = bg
    cd(c, size / 2 - 0.5 * (size / 32), size / 2 - 0.5 * (size / 32), size * 0.46)
    px = c.pixels()
    mask = [[p == bg for p in row] for row in px]
    px = [[0 if p == bg else p for p in row] for row in px]
    return icon_image(px, mask), size

def main(resdir):
    c = Canvas(192, 48, SILVER)
    c.bg = SILVER
    cd(c, 32, 24, 20)
    printer(c, 64)
    question(c, 128)
    write_bmp4(os.path.join(resdir, "toolbar.bmp"), c.pixels())
    images = [make_icon(32), make_icon(16)]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    body = b""
    for data, size in images:
        out += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(data), offset + len(body))
        body += data
    with open(os.path.join(resdir, "korvane.ico"), "wb") as f:
        f.write(out + body)

if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "res"))
