#!/usr/bin/python3
"""Many items at once in Spadrim.exe, end to end under Wine on a virtual display: a Shift+click range of
rows (drawn in the list and outlined in the treemap), Delete with one question naming the count, the
chosen files gone to the Recycle Bin and the others left; then Export list… from the item menu, through
the shell's Save dialog, writes a CSV that Python's csv module reads back to the rows the list shows.

    many_test.py --exe build/windows/Spadrim.exe --prefix build/windows/wineprefix --shots DIR

Expects a prefix prepared by scripts/wine/prefix.sh. Prints a line per check and ends with
"many: N passed, N failed"."""
import argparse
import csv
import os
import shutil
import tempfile

import desktop
import tally
from desktop import (HEADER, answer, check, client, message_box, notice_text, ocr, pixel, run, setup, shot, start,
                     stop, text_until, virtual_display, wait_for, window_name, windows_path)

parser = argparse.ArgumentParser()
parser.add_argument("--exe", required=True)
parser.add_argument("--prefix", required=True)
parser.add_argument("--shots", required=True)
parser.add_argument("--display", default=":98")
parser.add_argument("--keep-shot", help="also copy the multi-selection's screenshot here")
args = parser.parse_args()

CLUSTER = 4096  # whole clusters: the bytes the list shows are the files' lengths


def row(index):
    """The middle of list row `index` in the client area, at 96 DPI."""
    return HEADER + 40 + 16 + 32 * index


setup(args.exe, args.prefix, args.display, args.shots)
work = tempfile.mkdtemp(prefix="spadrim-many-")
try:
    scanned = os.path.join(work, "scanned")
    os.makedirs(scanned)
    # Rows, largest first: f1 … f6; names with a comma and outside ASCII for the CSV's quoting.
    names = ["f1.bin", "f2, two.bin", "f3 사진.jpg", "f4.txt", "f5.txt", "f6.txt"]
    for i, name in enumerate(names):
        with open(os.path.join(scanned, name), "wb") as f:
            f.write(b"m" * CLUSTER * (12 - 2 * i))
    folder = windows_path(scanned)

    with virtual_display():
        process, window = start(folder)
        titled = wait_for(lambda: window and window_name(window) == folder + " - Spadrim", 30)
        check("the folder is analysed", titled is not None, window and window_name(window))
        if titled:
            x, y, w, h = client(window)
            notice = lambda name: notice_text(shot(name), x, y, w, h)

            # f2 … f4: a click, then Shift+click two rows down.
            desktop.click(window, 100, row(1))
            run("xdotool", "mousemove", str(x + 100), str(y + row(3)), "keydown", "shift", "click", "1", "keyup",
                "shift")
            # Drawn once the range is: the row between the two clicked, which the pointer is not on, is
            # highlighted like them and unlike the rows outside.
            band = lambda path, r: pixel(path, x + 300, y + row(r))
            picture = wait_for(lambda: (lambda p: band(p, 2) != band(p, 0) and p)(shot("many-selected")), 10)
            check("the range is drawn selected", picture and band(picture, 1) == band(picture, 2) and
                  band(picture, 4) == band(picture, 0), picture and [band(picture, r) for r in range(5)])
            if args.keep_shot and picture:
                os.makedirs(os.path.dirname(os.path.abspath(args.keep_shot)), exist_ok=True)
                shutil.copy(picture, args.keep_shot)
            run("xdotool", "key", "Delete")
            box = wait_for(message_box, 10)
            asked = text_until(lambda: ocr(shot("many-question"), *desktop.geometry(box)) if box else "",
                               ["Move 3 items", "Recycle Bin"])
            check("one question names the count", "Move 3 items" in asked, asked)
            answer("y")
            moved = [os.path.join(scanned, n) for n in names[1:4]]
            gone = wait_for(lambda: not any(os.path.exists(p) for p in moved), 30)
            check("the three chosen files are gone", gone is not None, [os.path.exists(p) for p in moved])
            check("no second question came", message_box() is None)
            kept = [n for n in names if n not in names[1:4]]
            check("the others stay", all(os.path.exists(os.path.join(scanned, n)) for n in kept))
            said = text_until(lambda: notice("many-moved"), ["Moved 3 items"])
            check("the notice counts what moved", "Moved 3 items to the Recycle Bin" in said, said)

            # Export list… follows Copy path in a file's item menu (Open, Show in File Explorer, Copy path);
            # the Save dialog takes a name typed over its own.
            target = os.path.join(work, "list.csv")
            run("xdotool", "mousemove", str(x + 100), str(y + row(0)), "click", "3")
            text_until(lambda: ocr(shot("many-menu"), x, y + row(0) - 16, 420, 260), ["Export list"])
            run("xdotool", "key", "Down", "Down", "Down", "Down", "Return")
            dialog = wait_for(lambda: [d for d in run("xdotool", "search", "--onlyvisible", "--name",
                                                      "Export list").stdout.split()], 20)
            check("the Save dialog opens", dialog is not None)
            if dialog:
                desktop.press(dialog[0], "ctrl+a")
                run("xdotool", "type", "--delay", "30", windows_path(target))
                run("xdotool", "key", "Return")
            written = wait_for(lambda: os.path.exists(target), 20)
            check("the CSV is written", written is not None)
            check("nothing is left beside it", not os.path.exists(target + ".part"))
            if written:
                with open(target, "rb") as f:
                    raw = f.read()
                check("it starts with a BOM", raw.startswith(b"\xef\xbb\xbf"), raw[:8])
                with open(target, newline="", encoding="utf-8-sig") as f:
                    rows = list(csv.reader(f))
                listed = [[windows_path(os.path.join(scanned, n)), str(os.path.getsize(os.path.join(scanned, n)))]
                          for n in kept]
                check("a header and one row per listed item",
                      rows and rows[0][:2] == ["path", "bytes"] and [r[:2] for r in rows[1:]] == listed, rows)
            said = text_until(lambda: notice("many-exported"), ["Exported to"])
            check("the notice says where it went", "Exported to" in said, said)
        stop(process)
finally:
    shutil.rmtree(work, ignore_errors=True)
tally.finish("many")
