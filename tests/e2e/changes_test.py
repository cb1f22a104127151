#!/usr/bin/python3
"""Remembered scans and their comparison under Wine, end to end: a generated folder is scanned, changed
from Linux (a file grown by a known amount, files added, files removed) and analysed again. The Changes
tab's header must give the growth, the new files and the removed ones that Python recounts walking the
folder before and after; the home screen must list both scans; "Forget remembered scans…" must leave
the folder of remembered scans empty. Keeps screenshots of the growth treemap and of the home screen's
recent scans.

    changes_test.py --exe build/windows/Spadrim.exe --prefix build/windows/wineprefix --shots DIR

Expects a prefix prepared by scripts/wine/prefix.sh. Ends with "changes: N passed, N failed"."""
import argparse
import calendar
import os
import random
import shutil
import tempfile
import time

import tally
from desktop import (HEADER, STATUS, answer, check, click, client, ocr, press, run, setup, shot, start, stop, text_until,
                     virtual_display, wait_for, where, window_name, windows_path)
from desktop import column_width, format_size

parser = argparse.ArgumentParser()
parser.add_argument("--exe", required=True)
parser.add_argument("--prefix", required=True)
parser.add_argument("--shots", required=True)
parser.add_argument("--display", default=":91")
args = parser.parse_args()

GROWN = 2_500_000  # what the largest file grows by
CHANGES_BAND = 58  # the band under the Changes list: the header's two lines, then the sort control


def write(path, size):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as out:
        out.write(b"s" * size)


def make_tree(root):
    rng = random.Random(25)
    write(os.path.join(root, "video", "big.bin"), 3_000_000)
    for folder in ("docs", "docs/old", "pics"):
        for i in range(4):
            write(os.path.join(root, folder, f"f{i}.dat"), rng.randrange(20_000, 200_000))


def change_tree(root):
    """The big file grown, three files added, two removed."""
    with open(os.path.join(root, "video", "big.bin"), "ab") as out:
        out.write(b"g" * GROWN)
    write(os.path.join(root, "docs", "new.dat"), 400_000)
    write(os.path.join(root, "pics", "new.dat"), 150_000)
    write(os.path.join(root, "video", "new.dat"), 60_000)
    os.remove(os.path.join(root, "docs", "f1.dat"))
    os.remove(os.path.join(root, "pics", "f2.dat"))


def files_of(root):
    """Every file below root by its path, with its size."""
    found = {}
    for folder, _, names in os.walk(root):
        for name in names:
            path = os.path.join(folder, name)
            found[os.path.relpath(path, root)] = os.stat(path).st_size
    return found


def remembered(folder):
    """The finished scan files in the folder of remembered scans."""
    return sorted(name for name in os.listdir(folder) if name.endswith(".gz"))


def main():
    setup(args.exe, args.prefix, args.display, args.shots)
    work = tempfile.mkdtemp(prefix="spadrim-changes-")
    scans = tempfile.mkdtemp(prefix="spadrim-remembered-")
    root = os.path.join(work, "Projects")
    try:
        make_tree(root)
        before = files_of(root)
        with virtual_display():
            process, window = start(windows_path(root), scans=scans)
            check("the window came up", window is not None)
            if not window:
                return
            wait_for(lambda: window_name(window).startswith(windows_path(root)), 60)
            first = wait_for(lambda: len(remembered(scans)) == 1, 60)
            check("the finished scan is remembered", first, os.listdir(scans))

            # A scan is earlier than another only by a whole second (scan files keep seconds): the second
            # scan must start in a later second than the first, which a fast machine can otherwise beat.
            if first:
                began = calendar.timegm(time.strptime(remembered(scans)[0][:16], "%Y%m%dT%H%M%SZ"))
                wait_for(lambda: time.time() >= began + 1, 5, 0.05)
            change_tree(root)
            after = files_of(root)
            growth = sum(after.values()) - sum(before.values())
            added = len(after.keys() - before.keys())
            removed = len(before.keys() - after.keys())
            press(window, "F5")  # Analyze again
            x, y, w, h = client(window)
            strip = (x, y + HEADER, w // 2, 40)
            tab = wait_for(lambda: where(shot("_tabs"), strip, "Changes"), 90, 1.0)
            seen = "" if tab else ocr(shot("_seen"), x, y, w, h)
            check("the second scan brings the Changes tab", tab is not None, seen)
            if tab:
                run("xdotool", "mousemove", str(tab[0]), str(tab[1]), "click", "1")
            wanted = ["+" + format_size(growth), f"{added} new files", f"{removed} removed"]
            # The header fills the band under the list, over the status line.
            band = (x + 12, y + h - STATUS - CHANGES_BAND, column_width(w) - 24, CHANGES_BAND)
            header = text_until(lambda: ocr(shot("_changes"), *band), wanted, 30)
            check("the header gives the recounted growth, new and removed files",
                  all(piece in header for piece in wanted), f"{header!r}, recount {wanted}")
            shot("changes-treemap")
            check("the second scan is remembered too", wait_for(lambda: len(remembered(scans)) == 2, 60),
                  os.listdir(scans))

            click(window, 26, 24)  # Home
            area = (x, y + HEADER + 150, w, h - HEADER - 150)
            sizes = [format_size(sum(before.values())), format_size(sum(after.values()))]
            listed = text_until(lambda: ocr(shot("home-recent-scans"), *area), ["Recent scans", *sizes], 30)
            check("the home screen lists both scans, with their sizes",
                  listed.count("Projects") == 2 and all(size in listed for size in sizes), f"{listed!r}, {sizes}")

            click(window, w - 26, 24)  # the main menu
            menu = (x + w - 420, y + 30, 420 + min(200, 1400 - x - w), 480)
            item = wait_for(lambda: where(shot("_menu"), menu, "Forget"), 15, 0.5)
            check("the main menu offers to forget the remembered scans", item is not None)
            if item:
                run("xdotool", "mousemove", str(item[0]), str(item[1]), "click", "1")
                check("forgetting asks first", answer("y"))
                emptied = wait_for(lambda: not os.listdir(scans), 20)
                check("forgotten: the folder of remembered scans is empty", emptied, os.listdir(scans))
            stop(process)
    finally:
        shutil.rmtree(work, ignore_errors=True)
        shutil.rmtree(scans, ignore_errors=True)
        for name in ("_tabs.png", "_changes.png", "_menu.png"):
            path = os.path.join(args.shots, name)
            if os.path.exists(path):
                os.remove(path)


main()
tally.finish("changes")
