#!/usr/bin/python3
"""A query over a scan under Wine, end to end: a generated tree is scanned, picking an extension on By type
filters the folders and the treemap and brings the Found tab, whose footer must give the count and the
total that Python finds walking the same tree (os.walk, fnmatch, os.stat); Esc ends the query; the same
files typed as a pattern into the search field give the same footer. Keeps screenshots of the Found tab
and of the filtered treemap.

    found_test.py --exe build/windows/Spadrim.exe --prefix build/windows/wineprefix --shots DIR

Expects a prefix prepared by scripts/wine/prefix.sh. Ends with "found: N passed, N failed"."""
import argparse
import fnmatch
import os
import random
import shutil
import tempfile

import tally
from desktop import (HEADER, STATUS, check, click, client, ocr, press, run, setup, shot, start, stop, text_until,
                     virtual_display, wait_for, window_name, windows_path)
from desktop import column_width, format_size

parser = argparse.ArgumentParser()
parser.add_argument("--exe", required=True)
parser.add_argument("--prefix", required=True)
parser.add_argument("--shots", required=True)
parser.add_argument("--display", default=":92")
args = parser.parse_args()


def make_tree(root):
    """Videos (the largest extension, so first on By type) among documents and pictures, some nested,
    some with an upper-case extension."""
    rng = random.Random(24)
    for folder in ("films/2023", "films/2024/raw", "docs", "docs/old", "pics", "mixed"):
        os.makedirs(os.path.join(root, folder))
    names = [("films/2023", "a.mp4"), ("films/2023", "B.MP4"), ("films/2024/raw", "c.mp4"), ("films/2024", "d.mp4"),
             ("mixed", "e.mp4"), ("mixed", "not-a-video.mp4.txt"), ("docs", "f.txt"), ("docs/old", "g.txt"),
             ("pics", "h.jpg"), ("pics", "i.jpg"), ("mixed", "j.jpg")]
    for folder, name in names:
        size = rng.randrange(200_000, 900_000) if fnmatch.fnmatch(name.lower(), "*.mp4") else rng.randrange(1_000, 90_000)
        with open(os.path.join(root, folder, name), "wb") as out:
            out.write(b"v" * size)


def recount(root, pattern):
    files = size = 0
    for folder, _, names in os.walk(root):
        for name in names:
            if fnmatch.fnmatch(name.lower(), pattern):
                files += 1
                size += os.stat(os.path.join(folder, name)).st_size
    return files, size


def footer(window):
    """The Found list's footer, read from a fresh screenshot: the band over the status line."""
    x, y, w, h = client(window)
    path = shot("_found")
    return ocr(path, x + 12, y + h - STATUS - 40, column_width(w) - 24 - 150, 40)


def main():
    setup(args.exe, args.prefix, args.display, args.shots)
    root = tempfile.mkdtemp(prefix="spadrim-found-")
    try:
        make_tree(root)
        files, size = recount(root, "*.mp4")
        with virtual_display():
            process, window = start(windows_path(root))
            check("the window came up", window is not None)
            if not window:
                return
            shown = windows_path(root)
            wait_for(lambda: window_name(window).startswith(shown), 60)
            _, _, w, _ = client(window)
            column = column_width(w)
            # By type's first row is .mp4: picking it is the query ext:mp4, which brings a fifth tab.
            click(window, round(column * 2.5 / 4), HEADER + 20)
            wait_for(lambda: False, 1.0)
            click(window, 60, HEADER + 40 + 16)
            wait_for(lambda: False, 1.0)
            click(window, column - 12, HEADER + 20)  # the last tab: Found
            wanted = f"{files} files"
            read = text_until(lambda: footer(window), [wanted, format_size(size)], 20)
            check("Found: the footer gives the recount's files and bytes",
                  wanted in read and format_size(size) in read, f"{read!r}, recount {files} files, {size} bytes")
            shot("found-tab")
            click(window, 30, HEADER + 20)  # Folders, filtered
            wait_for(lambda: False, 1.0)
            treemap_shot = shot("filtered-treemap")
            x, y, w, h = client(window)
            chip = ocr(treemap_shot, x + column + 1 + 8 + (w - column - 17) // 2, y + HEADER + 8 + 8,
                       (w - column - 17) // 2 - 8, 24, light_on_dark=True)
            check("the treemap's chip names the query", "ext:mp4" in chip and "Esc" in chip, chip)
            press(window, "Escape")
            wait_for(lambda: False, 1.0)
            after = ocr(shot("_after-escape"), x + column + 1 + 8 + (w - column - 17) // 2, y + HEADER + 16,
                        (w - column - 17) // 2 - 8, 24, light_on_dark=True)
            check("Esc ends the query: the chip goes", "ext:mp4" not in after, after)
            # The same files typed as a name pattern into the search field (Ctrl+F), case folded: B.MP4 too.
            press(window, "ctrl+f")
            run("xdotool", "type", "--delay", "60", "*.mp4")
            wait_for(lambda: False, 1.5)
            click(window, column - 12, HEADER + 20)
            read = text_until(lambda: footer(window), [wanted, format_size(size)], 20)
            check("a typed query: the footer gives the recount's files and bytes",
                  wanted in read and format_size(size) in read, f"{read!r}, recount {files} files, {size} bytes")
            stop(process)
    finally:
        shutil.rmtree(root, ignore_errors=True)
        for name in ("_found.png", "_after-escape.png"):
            path = os.path.join(args.shots, name)
            if os.path.exists(path):
                os.remove(path)


main()
tally.finish("found")
