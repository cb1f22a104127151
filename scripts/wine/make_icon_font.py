#!/usr/bin/python3
"""A stand-in for the "Segoe MDL2 Assets" icon font, for running Spadrim under Wine only: simple
outlines at the private-use code points the painters draw, so the window shows its icons where Wine has
no such font. The program itself always asks for "Segoe MDL2 Assets".
    make_icon_font.py OUT.ttf"""
import math
import sys

from fontTools.fontBuilder import FontBuilder
from fontTools.pens.ttGlyphPen import TTGlyphPen

EM = 1000


def polygon(pen, points):
    pen.moveTo(points[0])
    for point in points[1:]:
        pen.lineTo(point)
    pen.closePath()


def rect(pen, x0, y0, x1, y1):
    polygon(pen, [(x0, y0), (x1, y0), (x1, y1), (x0, y1)])


def ring(pen, cx, cy, outer, inner, start=0.0, end=2 * math.pi, steps=24):
    """A ring segment as one polygon: outer arc forward, inner arc back."""
    outer_points = [(cx + outer * math.cos(start + (end - start) * i / steps),
                     cy + outer * math.sin(start + (end - start) * i / steps)) for i in range(steps + 1)]
    inner_points = [(cx + inner * math.cos(start + (end - start) * i / steps),
                     cy + inner * math.sin(start + (end - start) * i / steps)) for i in range(steps, -1, -1)]
    polygon(pen, [(round(x), round(y)) for x, y in outer_points + inner_points])


def home(pen):
    polygon(pen, [(150, 420), (500, 760), (850, 420), (760, 420), (760, 80), (580, 80), (580, 300), (420, 300),
                  (420, 80), (240, 80), (240, 420)])


def up(pen):
    polygon(pen, [(500, 800), (820, 480), (740, 400), (560, 580), (560, 100), (440, 100), (440, 580), (260, 400),
                  (180, 480)])


def refresh(pen):
    ring(pen, 500, 430, 330, 250, math.radians(120), math.radians(400))
    polygon(pen, [(330, 760), (240, 560), (460, 600)])


def menu(pen):
    for y in (200, 420, 640):
        rect(pen, 150, y, 850, y + 90)


def drive(pen):
    rect(pen, 100, 250, 900, 650)
    polygon(pen, [(160, 310), (160, 590), (840, 590), (840, 310)])  # the other way round: a hole
    rect(pen, 680, 400, 780, 500)


def folder_open(pen):
    polygon(pen, [(100, 150), (100, 750), (400, 750), (460, 670), (850, 670), (850, 520), (260, 520), (180, 150)])
    polygon(pen, [(220, 150), (300, 470), (930, 470), (850, 150)])


def waste_bin(pen):
    rect(pen, 150, 680, 850, 760)
    rect(pen, 400, 760, 600, 840)
    polygon(pen, [(230, 640), (770, 640), (710, 80), (290, 80)])


def cloud(pen):
    ring(pen, 380, 420, 200, 0, 0, 2 * math.pi)
    ring(pen, 620, 460, 240, 0, 0, 2 * math.pi)
    rect(pen, 200, 220, 820, 420)


def lock(pen):
    rect(pen, 200, 100, 800, 520)
    ring(pen, 500, 520, 240, 160, 0, math.pi)


def link(pen):
    polygon(pen, [(120, 450), (420, 750), (560, 610), (500, 550), (420, 630), (240, 450), (420, 270), (480, 330),
                  (540, 270), (420, 150)])
    polygon(pen, [(880, 450), (580, 150), (440, 290), (500, 350), (580, 270), (760, 450), (580, 630), (520, 570),
                  (460, 630), (580, 750)])


def chevron_right(pen):
    polygon(pen, [(320, 820), (700, 450), (320, 80), (240, 160), (540, 450), (240, 740)])


def chevron_down(pen):
    polygon(pen, [(120, 640), (500, 260), (880, 640), (800, 720), (500, 420), (200, 720)])


def history(pen):
    ring(pen, 500, 450, 380, 300, math.radians(-60), math.radians(220))
    polygon(pen, [(110, 300), (170, 470), (300, 340)])  # the arrow at the ring's open end: back in time
    rect(pen, 460, 430, 540, 680)
    polygon(pen, [(500, 470), (680, 330), (640, 280), (460, 420)])


GLYPHS = {
    0xE80F: ("home", home), 0xE74A: ("up", up), 0xE72C: ("refresh", refresh), 0xE700: ("menu", menu),
    0xEDA2: ("drive", drive), 0xE838: ("folderOpen", folder_open), 0xE74D: ("wasteBin", waste_bin),
    0xE753: ("cloud", cloud), 0xE72E: ("lock", lock), 0xE71B: ("link", link),
    0xE76C: ("chevronRight", chevron_right), 0xE70D: ("chevronDown", chevron_down), 0xE81C: ("history", history),
}


def main():
    names = [".notdef", "space"] + [name for name, _ in GLYPHS.values()]
    builder = FontBuilder(EM, isTTF=True)
    builder.setupGlyphOrder(names)
    builder.setupCharacterMap({0x20: "space", **{code: name for code, (name, _) in GLYPHS.items()}})
    glyphs = {".notdef": TTGlyphPen(None).glyph(), "space": TTGlyphPen(None).glyph()}
    for name, draw in GLYPHS.values():
        pen = TTGlyphPen(None)
        draw(pen)
        glyphs[name] = pen.glyph()
    builder.setupGlyf(glyphs)
    builder.setupHorizontalMetrics({name: (EM, 0) for name in names})
    builder.setupHorizontalHeader(ascent=880, descent=-120)
    family = "Segoe MDL2 Assets"
    builder.setupNameTable({"familyName": family, "styleName": "Regular", "fullName": family,
                            "psName": "SegoeMDL2Assets-WineStandIn", "uniqueFontIdentifier": family + " (Wine stand-in)"})
    builder.setupOS2(sTypoAscender=880, sTypoDescender=-120, usWinAscent=880, usWinDescent=120)
    builder.setupPost()
    builder.save(sys.argv[1])


if __name__ == "__main__":
    main()
