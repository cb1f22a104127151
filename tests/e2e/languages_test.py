#!/usr/bin/python3
"""Spadrim.exe in German, Spanish and Korean at its smallest size, under Wine on a virtual display: the
home screen and the results of a small folder (the Folders tab with the notice of the finished scan,
then the Largest files tab), each kept as a screenshot named after its screen and language
(home-de.png, results-de.png, results-largest-de.png, ...). Checks that no text runs out of its room:
the question and tagline inside the margins, the tagline on at most two lines, the card texts inside
their column, each tab label inside its tab and, read back with tesseract in German and Spanish, whole;
the notice's pill narrower than its widest, so that its text was not cut.

    languages_test.py --exe build/windows/Spadrim.exe --prefix build/windows/wineprefix --shots DIR

Expects a prefix prepared by scripts/wine/prefix.sh. Prints a line per check and ends with
"languages: N passed, N failed"."""
import argparse
import difflib
import json
import os
import shutil
import tempfile
import unicodedata

import desktop
import tally
from desktop import (ACCENT, HEADER, PANEL, STATUS, WINDOW, check, client, colours_in, geometry, ocr, picture, run,
                     setup, shot, start, stop, virtual_display, wait_for, window_name)
from desktop import column_width

parser = argparse.ArgumentParser()
parser.add_argument("--exe", required=True)
parser.add_argument("--prefix", required=True)
parser.add_argument("--shots", required=True)
parser.add_argument("--display", default=":95")
args = parser.parse_args()

SETTINGS = r"HKCU\Software\Spadrim"
TABLES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "src", "strings", "tables")
TAB_KEYS = ["Folders", "Largest files", "By type", "Duplicates"]
READ_BACK = {"de", "es"}  # languages tesseract reads with its English data
SMALLEST = (720, 480)  # the window's least outer size at 96 DPI (minimum_window_size)


def ink(rgb, background):
    """Whether a pixel is drawn over its background: text, not the background nor a faint hover."""
    return rgb is not None and sum(abs(a - b) for a, b in zip(rgb, background)) > 150


def ink_columns(path, x, y, w, h, background):
    """The x of every column of a region (screen coordinates) that holds ink."""
    shown = picture(path)
    return [px for px in range(x, x + w)
            if any(ink(shown.rgb(px, py), background) for py in range(y, y + h))]


def ink_rows(path, x, y, w, h, background):
    shown = picture(path)
    return [py for py in range(y, y + h)
            if any(ink(shown.rgb(px, py), background) for px in range(x, x + w))]


def rgb_of(colour):
    return tuple(bytes.fromhex(colour[1:]))


def folded(text):
    """A text without accents and case, as tesseract's English data reads it."""
    return "".join(c for c in unicodedata.normalize("NFD", text) if not unicodedata.combining(c)).lower()


def reads_as(read, expected):
    """Whether an OCR reading is the expected text, whole: alike, and no ellipsis where a cut would be."""
    read = read.strip()
    similar = difflib.SequenceMatcher(None, folded(read), folded(expected)).ratio() >= 0.75
    return similar and not read.endswith(("…", "...", "..")), read


def placement(left, top, right, bottom):
    """A WINDOWPLACEMENT shown normally in the rectangle, as the registry keeps it."""
    blob = bytearray(44)
    blob[0:4] = (44).to_bytes(4, "little")
    blob[8:12] = (1).to_bytes(4, "little")
    for offset, value in ((28, left), (32, top), (36, right), (40, bottom)):
        blob[offset:offset + 4] = value.to_bytes(4, "little", signed=True)
    return blob.hex()


def at_smallest(window):
    _, _, w, h = geometry(window)
    return (w, h) == SMALLEST


def check_home(language, window):
    x, y, w, h = client(window)
    path = shot("home-" + language)
    content = min(w - 48, 980)
    left = round((w - content) / 2)
    # The question and its tagline, from the top of the question's box to the cards.
    top, cards = y + HEADER + 44, y + HEADER + 150
    margins = ink_columns(path, x, top, left, cards - top, rgb_of(WINDOW[0])) + \
        ink_columns(path, x + left + content, top, w - left - content, cards - top, rgb_of(WINDOW[0]))
    check(f"{language}: home: the question and the tagline stay inside the margins", not margins, margins[:5])
    tagline = ink_rows(path, x + left, y + HEADER + 84, content, 150 - 84, rgb_of(WINDOW[0]))
    check(f"{language}: home: the tagline is drawn, on at most two lines, above the cards",
          tagline and tagline[-1] < y + HEADER + 128 and tagline[-1] - tagline[0] < 44, tagline[:1] + tagline[-1:])
    # The cards: two to a row; the texts end 16 pixels before a card's right edge.
    columns = max(1, (content + 16) // 316)
    card = (content - (columns - 1) * 16) // columns
    spill = []
    for index in range(columns):
        card_x = x + left + index * (card + 16)
        spill += ink_columns(path, card_x + card - 16, y + HEADER + 150 + 4, 14, 112 - 8, rgb_of(PANEL[0]))
    check(f"{language}: home: the card texts stay inside their column", not spill, spill[:5])


def check_tabs(language, path, area, chosen, table):
    x, y, w, _ = area
    tab = column_width(w) / 4
    for t in range(4):
        left = x + round(t * tab)
        right = x + round((t + 1) * tab)
        # The label's rows, above the chosen tab's underline.
        found = ink_columns(path, left, y + HEADER + 4, right - left, 40 - 8, rgb_of(PANEL[0]))
        name = TAB_KEYS[t] + (" (chosen)" if t == chosen else "")
        check(f"{language}: tab {name}: its label lies inside the tab, clear of both ends",
              found and found[0] >= left + 2 and found[-1] <= right - 3,
              (found[:1], found[-1:], left, right))
        if language in READ_BACK:
            expected = table[TAB_KEYS[t]]
            ok, read = reads_as(ocr(path, left, y + HEADER + 4, right - left, 40 - 8), expected)
            check(f"{language}: tab {name} reads whole: {expected}", ok, repr(read))


def pill_extent(path, area):
    """The notice pill's left and right x along a row near its top, or None without a pill."""
    x, y, w, h = area
    row = y + h - STATUS - 60 + 4
    shown = picture(path)
    dark = {px for px in range(x, x + w) if max(shown.rgb(px, row) or (255,)) < 64}
    left = right = x + w // 2
    if left not in dark:
        return None
    while left - 1 in dark:
        left -= 1
    while right + 1 in dark:
        right += 1
    return left, right


def sample(root):
    """A small folder: documents in a subfolder, pictures in another, and a few files at the top."""
    os.makedirs(os.path.join(root, "Dokumente"))
    for i in range(6):
        with open(os.path.join(root, "Dokumente", f"bericht {i}.txt"), "wb") as f:
            f.write(b"d" * (60_000 * (i + 1)))
    os.makedirs(os.path.join(root, "Fotos"))
    for i in range(4):
        with open(os.path.join(root, "Fotos", f"foto {i}.jpg"), "wb") as f:
            f.write(b"p" * (90_000 * (i + 1)))
    for name, size in (("archiv.zip", 700_000), ("notizen.txt", 5_000)):
        with open(os.path.join(root, name), "wb") as f:
            f.write(b"z" * size)


setup(args.exe, args.prefix, args.display, args.shots)
work = tempfile.mkdtemp(prefix="spadrim-languages-")
with virtual_display():
    try:
        sample(work)
        folder = "Z:" + work.replace("/", "\\")
        run("xdotool", "mousemove", "1399", "899")  # the pointer away from the window: no hover
        for language in ("de", "es", "ko"):
            table = json.load(open(os.path.join(TABLES, language + ".json"), encoding="utf-8")) \
                if language != "ko" else {}
            run("wine", "reg", "delete", SETTINGS, "/f")
            run("wine", "reg", "add", SETTINGS, "/v", "Language", "/t", "REG_SZ", "/d", language, "/f")
            run("wine", "reg", "add", SETTINGS, "/v", "AutoUpdate", "/t", "REG_DWORD", "/d", "0", "/f")
            # Nothing remembered: the same folder analysed again in the next language (or with F5) would
            # have an earlier scan, and its Changes tab would make five tabs of the four measured here.
            run("wine", "reg", "add", SETTINGS, "/v", "RememberScans", "/t", "REG_DWORD", "/d", "0", "/f")
            run("wine", "reg", "add", SETTINGS, "/v", "Placement", "/t", "REG_BINARY", "/d",
                placement(100, 100, 100 + SMALLEST[0], 100 + SMALLEST[1]), "/f")

            process, window = start()
            check(f"{language}: the window opens at its smallest size", window and at_smallest(window),
                  window and geometry(window))
            if window:
                check_home(language, window)
            stop(process)

            process, window = start(folder)
            titled = window and wait_for(lambda: window_name(window) == folder + " - Spadrim", 30)
            check(f"{language}: the folder is analysed", titled, window and window_name(window))
            if not titled:
                stop(process)
                continue
            area = client(window)
            x, y, w, h = area
            # The notice of the finished scan comes with the results and goes 3.4 seconds later: on a busy
            # machine the screenshots may miss it, and F5 (Analyze again) brings another.
            pill = None
            for _ in range(3):
                pill = wait_for(lambda: pill_extent(shot("results-" + language), area), 6, 0.2)
                if pill:
                    break
                run("xdotool", "key", "--window", window, "F5")
            path = os.path.join(args.shots, f"results-{language}.png")
            check(f"{language}: results: the finished scan's notice is shown", pill is not None)
            if pill:
                left, right = pill
                # At its widest the pill leaves 16 pixels at either side, and its text is cut.
                check(f"{language}: results: the notice's pill is narrower than its widest, its text whole",
                      left > x + 16 and right < x + w - 17, (left - x, right - x, w))
                if language in READ_BACK:
                    words = table["{0} · {1} files · took {2} s"].replace("{0}", " ").replace("{1}", " ")
                    words = [word for word in words.replace("{2}", " ").split() if len(word) > 3]
                    said = ocr(path, left + 6, y + h - STATUS - 60, right - left - 12, 38, light_on_dark=True)
                    check(f"{language}: results: the notice reads whole", all(word in said for word in words),
                          (said, words))
            check_tabs(language, path, area, 0, table)
            run("xdotool", "key", "--window", window, "ctrl+Tab")
            chosen = wait_for(lambda: colours_in(shot("results-largest-" + language),
                                                 x + round(column_width(w) / 4) + 20, y + HEADER + 40 - 2,
                                                 round(column_width(w) / 4) - 40, 1) & set(ACCENT), 10)
            check(f"{language}: Ctrl+Tab chooses Largest files", chosen)
            check_tabs(language, os.path.join(args.shots, f"results-largest-{language}.png"), area, 1, table)
            stop(process)
    finally:
        run("wine", "reg", "delete", SETTINGS, "/f")
        shutil.rmtree(work, ignore_errors=True)

tally.finish("languages")
