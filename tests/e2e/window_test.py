#!/usr/bin/python3
"""Spadrim.exe end to end under Wine on a virtual display: the home screen in both themes, a scan
started from a drive card, its progress while the pointer moves, and cancelled, a folder given on the
command line explored with the keyboard, the tabs, both menus and the About box, moves to the Recycle Bin
(a refused one, a vanished item, a file and a folder), the frame Wine draws (maximise and restore, a
border drag, Alt+F4 and the close button, each followed by the picture or the saved placement), the
results in the dark theme, the saved placement, and the Explorer verb's registry keys. Texts the window
draws are read back with tesseract.

    window_test.py --exe build/windows/Spadrim.exe --prefix build/windows/wineprefix --shots DIR

Expects a prefix prepared by scripts/wine/prefix.sh. Prints a line per check and ends with
"window: N passed, N failed"."""
import argparse
import os
import re
import shutil
import struct
import subprocess
import tempfile
import time

import desktop
import tally
from desktop import (ACCENT, BAR, ENV, HEADER, LINE, PANEL, STATUS, WINDOW, answer, caption_buttons, card_point,
                     check, click, client, colours_in, drag, ended, find_window, geometry, hover, last_size,
                     message_box, notice_text, ocr, pixel, press, reg_binary, reg_query, reg_set_dword, run,
                     same_region, setup, shot, start, stop, text_until, version_block, virtual_display, wait_for,
                     wiggle, window_name)
from desktop import column_width

parser = argparse.ArgumentParser()
parser.add_argument("--exe", required=True)
parser.add_argument("--prefix", required=True)
parser.add_argument("--shots", required=True)
parser.add_argument("--display", default=":93")
args = parser.parse_args()


def underlined_tab(path, area, count=4):
    """Which of the `count` tabs (of equal widths) carries the accent underline, or None."""
    x, y, w, _ = area
    tab = column_width(w) / count
    for t in range(count):
        if colours_in(path, x + round(t * tab) + 20, y + HEADER + 40 - 2, round(tab) - 40, 1) & set(ACCENT):
            return t
    return None


def far(colour, other, distance=200):
    """Whether two #RRGGBB colours differ clearly (ink against its background)."""
    a, b = (bytes.fromhex(c[1:]) for c in (colour, other))
    return sum(abs(p - q) for p, q in zip(a, b)) > distance


def misfits(path, area, theme=0, results=True):
    """What of the picture does not fit the client area `area` (screen coordinates): the header bar of its
    own height, rule included, from edge to edge, the Menu button's glyph inside the header's right end,
    and on the results screen the status line, its rule on top, on the bottom edge. A picture drawn for
    another size, stretched or cut, misses some of them. Empty when everything fits."""
    x, y, w, h = area
    expected = [("header bar, left", 4, 4, BAR), ("header bar, right", w - 5, 4, BAR),
                ("header rule, left", 4, HEADER - 1, LINE), ("header rule, right", w - 5, HEADER - 1, LINE),
                ("below the header, right", w - 5, HEADER, WINDOW)]
    if results:
        expected += [("above the status line, right", w - 5, h - STATUS - 1, WINDOW),
                     ("status rule, left", 4, h - STATUS, LINE), ("status rule, right", w - 5, h - STATUS, LINE),
                     ("status bar, bottom left", 4, h - 1, BAR), ("status bar, bottom right", w - 5, h - 1, BAR)]
    wrong = [f"{name} {pixel(path, x + dx, y + dy)}" for name, dx, dy, colours in expected
             if pixel(path, x + dx, y + dy) != colours[theme]]
    # The Menu glyph sits in a 36-pixel button 8 pixels from the right edge; nothing is drawn in that margin.
    glyph = colours_in(path, x + w - 44, y + 6, 36, 36)
    if not any(far(c, BAR[theme]) for c in glyph):
        wrong.append("no Menu glyph at the right end")
    if colours_in(path, x + w - 6, y + 6, 6, 36) != {BAR[theme]}:
        wrong.append("something in the header's right margin")
    return wrong


def fitted(name, window, theme=0, results=True, timeout=15):
    """Waits for a screenshot (kept as `name`) whose picture fits the window's client area as it is now;
    returns what did not fit in the last one (empty once one fits)."""
    wrong = ["no screenshot"]

    def fits():
        nonlocal wrong
        wrong = misfits(shot(name), client(window), theme, results)
        return not wrong

    wait_for(fits, timeout, 0.3)
    return wrong


def saved_placement():
    """The saved placement as (showCmd, normal rectangle (left, top, right, bottom)), or the raw value when
    it is missing or not a 44-byte WINDOWPLACEMENT."""
    blob = reg_binary(SETTINGS, "Placement")
    if not blob or len(blob) != 44 or struct.unpack_from("<I", blob)[0] != 44:
        return blob
    return struct.unpack_from("<I", blob, 8)[0], struct.unpack_from("<4i", blob, 28)


def outer_rect(window):
    x, y, w, h = geometry(window)
    return x, y, x + w, y + h


def press_caption_button(window, name):
    """Clicks one of the caption buttons Wine draws; False when they cannot be found."""
    buttons = caption_buttons(shot("_probe"), window)
    if buttons:
        run("xdotool", "mousemove", *map(str, buttons[name]), "click", "1")
    return buttons is not None


def maximise(window):
    """Presses the maximise button until the window fills the screen. A click that lands while Wine
    is still settling a freshly started window is dropped now and then, so it is tried three times."""
    for _ in range(3):
        if press_caption_button(window, "maximise") and wait_for(lambda: fills_screen(window), 10):
            return True
    return False


def fills_screen(window):
    """Whether the window, frame included, covers the whole screen (maximised, the borders lie outside)."""
    width, height = map(int, run("xdotool", "getdisplaygeometry").stdout.split())
    x, y, w, h = geometry(window)
    return x <= 0 and y <= 0 and x + w >= width and y + h >= height


def make_sample(root):
    """A small folder to look at: Documents, Pictures and two identical Other files."""
    os.makedirs(os.path.join(root, "docs"))
    for i in range(8):
        with open(os.path.join(root, "docs", f"d{i}.txt"), "wb") as f:
            f.write(b"d" * (40_000 * (i + 1)))
    os.makedirs(os.path.join(root, "pics"))
    for i in range(4):
        with open(os.path.join(root, "pics", f"p{i}.jpg"), "wb") as f:
            f.write(b"p" * (30_000 * (i + 1)))


SETTINGS = r"HKCU\Software\Spadrim"
THEME = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Themes\Personalize"

setup(args.exe, args.prefix, args.display, args.shots)
with virtual_display():
    run("wine", "reg", "delete", SETTINGS, "/f")

    # Home screen, light theme.
    reg_set_dword(THEME, "AppsUseLightTheme", 1)
    process, window = start()
    check("a window opens", window is not None)
    if window:
        check("its title is Spadrim", window_name(window) == "Spadrim", window_name(window))
        x, y, w, h = client(window)
        path = shot("home-light")
        check("light header bar", pixel(path, x + w // 2, y + 20) == "#FFFFFF", pixel(path, x + w // 2, y + 20))
        check("light window colour", pixel(path, x + 10, y + h - 10) == "#F2F3F5", pixel(path, x + 10, y + h - 10))
        # A drive card starts a scan of that drive (Z: is the whole Unix file system: it stays busy long
        # enough to watch), and Cancel ends it.
        click(window, *card_point(w, 1))
        scanning = wait_for(lambda: window_name(window).startswith("Z:\\"), 20)
        check("a drive card starts its scan", scanning is not None, window_name(window))
        bar = lambda path: any(pixel(path, x + w // 2 + dx, y + h // 2 - 30) == ACCENT[0] for dx in range(-260, 260, 4))
        check("progress screen: accent bar drawn", wait_for(lambda: bar(shot("progress")), 10) is not None)
        # The figures (bytes, files, folders) are repainted on a timer while the walk goes on, and so also
        # while the pointer moves over the window: its messages must not keep putting that timer off.
        figures = (x, y + h // 2 - 80, w, 28)
        still = shot("progress-still-1")
        advanced = wait_for(lambda: not same_region(still, shot("progress-still-2"), *figures), 10)
        check("the progress figures advance while the pointer rests", advanced is not None)
        mover = wiggle(x + w // 4, y + h * 3 // 4, 4.0)
        begun = time.monotonic()
        moving = []
        for i in range(3):  # a screenshot a second while the pointer moves
            time.sleep(max(0.0, begun + 0.5 + i - time.monotonic()))
            moving.append(shot(f"progress-pointer-{i + 1}"))
        mover.wait(timeout=60)
        changes = [not same_region(a, b, *figures) for a, b in zip(moving, moving[1:])]
        check("the progress figures advance every second while the pointer moves", all(changes), changes)
        click(window, w // 2, h // 2 + 110 + 19)  # the Cancel button
        home = wait_for(lambda: window_name(window) == "Spadrim", 30)
        check("Cancel returns to the drives", home is not None, window_name(window))

        click(window, *card_point(w, 1))
        wait_for(lambda: window_name(window).startswith("Z:\\"), 20)
        run("xdotool", "key", "--window", window, "Escape")
        home = wait_for(lambda: window_name(window) == "Spadrim", 30)
        check("Escape cancels the scan", home is not None, window_name(window))
    stop(process)

    # Dark theme.
    reg_set_dword(THEME, "AppsUseLightTheme", 0)
    process, window = start()
    if window:
        x, y, w, h = client(window)
        path = shot("home-dark")
        check("dark window colour", pixel(path, x + 10, y + h - 10) == "#18191C", pixel(path, x + 10, y + h - 10))
        check("dark header bar", pixel(path, x + w // 2, y + 20) == "#222327", pixel(path, x + w // 2, y + 20))
    stop(process)
    reg_set_dword(THEME, "AppsUseLightTheme", 1)

    # A folder on the command line is analysed at once; its path becomes the title.
    work = tempfile.mkdtemp(prefix="spadrim-window-")
    try:
        os.makedirs(os.path.join(work, "docs", "deep"))
        for i in range(20):
            with open(os.path.join(work, "docs", "deep", f"f{i}.txt"), "wb") as f:
                f.write(b"x" * (1000 * i))
        with open(os.path.join(work, "docs", "deep", "big.txt"), "wb") as f:  # docs stays the largest
            f.write(b"x" * 3_000_000)
        for name in ("copy a.bin", "copy b.bin"):
            with open(os.path.join(work, name), "wb") as f:
                f.write(b"\x01" * 1_100_000)
        os.makedirs(os.path.join(work, "profile", "Downloads"))
        with open(os.path.join(work, "profile", "Downloads", "kept.txt"), "wb") as f:
            f.write(b"k" * 10)
        with open(os.path.join(work, "ghost.mp4"), "wb") as f:  # deleted behind Spadrim's back later
            f.write(b"v" * 50_000)
        os.makedirs(os.path.join(work, "pics"))
        for i in range(10):
            with open(os.path.join(work, "pics", f"p{i}.jpg"), "wb") as f:
                f.write(b"x" * (2000 * i))
        folder = "Z:" + work.replace("/", "\\")
        # Wine sets USERPROFILE itself; OneDrive, another protected root, passes through from Unix.
        ENV["OneDrive"] = folder + "\\profile"
        # What follows changes files behind Spadrim's back to see that they show only once read again: not
        # followed here (follow_test.py follows them).
        reg_set_dword(SETTINGS, "FollowChanges", 0)
        process, window = start(folder)
        titled = wait_for(lambda: window and window_name(window) == folder + " - Spadrim", 30)
        check("a folder argument is analysed", titled is not None, window and window_name(window))
        if window:
            wrong = fitted("results", window)
            check("the results fit the window: header, Menu button and status line", not wrong, wrong)
            path = os.path.join(args.shots, "results.png")
            x, y, w, h = area = client(window)
            column = column_width(w)
            row = lambda index: HEADER + 40 + 16 + 32 * index  # the middle of a list row
            # Text files are Documents: their tiles are drawn in that kind's colour.
            tiles = [pixel(path, x + column + 20 + dx, y + 100 + dy) for dx in range(0, w - column - 40, 40)
                     for dy in range(0, 300, 40)]
            check("treemap tiles in the Documents colour", "#10B981" in tiles, sorted(set(tiles))[:6])
            check("the Folders tab is underlined in the accent", underlined_tab(path, area) == 0,
                  underlined_tab(path, area))
            # The keyboard: Down selects the first row (docs, the largest), Enter opens it, Backspace
            # goes back up; F5 analyses again and returns to the folder on screen.
            key = lambda *keys: run("xdotool", "key", "--window", window, *keys)
            key("Down")
            key("Return")
            inside = wait_for(lambda: window_name(window) == folder + "\\docs - Spadrim", 10)
            check("Down and Enter open the selected folder", inside is not None, window_name(window))
            # A file added behind Spadrim's back shows only once the folder is read again: docs then
            # lists it under deep, in its second row, empty until then.
            with open(os.path.join(work, "docs", "fresh.txt"), "wb") as f:
                f.write(b"n" * 1000)
            # The title changes before the frame that goes with it: the results screen is known by its
            # status line, and a row by its text.
            results_shown = lambda path: not misfits(path, area)
            second_row = lambda path: any(far(c, PANEL[0])
                                          for c in colours_in(path, x + 30, y + row(1) - 10, column - 60, 20))
            wait_for(lambda: (lambda path: results_shown(path) and not second_row(path))(shot("_probe")), 10)
            key("F5")
            again = wait_for(lambda: window_name(window) == folder + "\\docs - Spadrim"
                             and (lambda path: results_shown(path) and second_row(path))(shot("analyzed-again")), 30)
            listed = ocr(os.path.join(args.shots, "analyzed-again.png"), x, y + row(1) - 16, column, 32)
            check("Analyze again returns to the folder on screen, read again",
                  again is not None and "fresh.txt" in listed, (window_name(window), listed))
            key("BackSpace")
            back = wait_for(lambda: window_name(window) == folder + " - Spadrim", 10)
            check("Backspace goes to the parent", back is not None, window_name(window))
            # Rows, largest first: docs, copy a.bin, copy b.bin, pics, ghost.mp4, profile.
            key("End")
            key("Return")
            last = wait_for(lambda: window_name(window) == folder + "\\profile - Spadrim", 10)
            check("End and Enter open the last folder", last is not None, window_name(window))
            key("BackSpace")
            wait_for(lambda: window_name(window) == folder + " - Spadrim", 10)
            # Analysed again, the folder was compared with the scan before (remembered when it ended): a
            # fifth tab, Changes, follows Duplicates.
            tab_is = lambda index: wait_for(lambda: underlined_tab(shot("_probe"), area, 5) == index, 10)
            key("ctrl+Tab")
            tab_is(1)
            first = ocr(shot("largest-files"), x, y + 48 + 40, column, 46)  # the first of the largest files
            check("Largest files: the biggest file leads", "big.txt" in first and abs((last_size(first) or 0) - 3_000_000) < 20_000, first)
            # By type, with the .jpg row picked: every other file tile is dimmed.
            key("ctrl+Tab")
            tab_is(2)
            click(window, 100, row(2))  # .txt 3.19 MB, .bin 2.2 MB, .jpg 90,000 bytes, .mp4
            treemap = lambda path: colours_in(path, x + column + 10, y + 60, w - column - 20, h - 60 - 30 - 50)
            wait_for(lambda: "#10B981" not in treemap(shot("by-type-selected")), 10)
            tiles = treemap(os.path.join(args.shots, "by-type-selected.png"))
            check("By type: the picked extension stays bright", "#3B82F6" in tiles, len(tiles))
            check("By type: other file tiles are dimmed", "#10B981" not in tiles and "#14B8A6" not in tiles, len(tiles))
            key("ctrl+shift+Tab")
            key("ctrl+shift+Tab")
            key("Escape")
            tab_is(0)
            # Duplicates: the two copies of 1.1 MB form a set, drawn with the Other kind's colour, once
            # the comparison that the tab starts has ended.
            for _ in range(3):
                key("ctrl+Tab")
            tab_is(3)
            first_set = lambda path: colours_in(path, x, y + 48 + 40, column, 46)
            wait_for(lambda: "#14B8A6" in first_set(shot("duplicates")), 30)
            rows = first_set(os.path.join(args.shots, "duplicates.png"))
            check("Duplicates: the set of two copies is listed", "#14B8A6" in rows, len(rows))
            key("ctrl+Tab")
            check("Analyzed again, the results gain the Changes tab after Duplicates", tab_is(4))
            key("ctrl+Tab")  # back to Folders
            tab_is(0)
            # The keyboard's focus: Tab from the list puts a ring round the treemap, the arrows pick a
            # tile, Shift+Tab twice reaches the tab strip, where the arrows choose the tab.
            edge = lambda path: colours_in(path, x + column + 7, y + 48 + 40, 4, 200)
            check("no focus ring before the keyboard is used", not edge(shot("_probe")) & set(ACCENT))
            key("Tab")
            check("Tab puts the focus ring round the treemap",
                  wait_for(lambda: edge(shot("focus-treemap")) & set(ACCENT), 10))
            ringed = os.path.join(args.shots, "focus-treemap.png")
            key("Right")
            check("an arrow key picks a tile: the ring moves into the treemap",
                  wait_for(lambda: not same_region(ringed, shot("focus-tile"), x + column + 1, y + 48, w - column - 1,
                                                   h - 48 - 30), 10))
            key("shift+Tab")
            key("shift+Tab")
            key("Right")
            check("Right on the tab strip chooses Largest files", tab_is(1))
            key("Left")
            check("Left gives Folders back", tab_is(0))
            # A protected folder ("OneDrive" points at "profile") is refused: Delete shows an
            # information box instead of asking, and nothing moves.
            click(window, 100, 48 + 40 + 16 + 32 * 5)
            key("Delete")
            answer("y")  # would answer Yes had it been asked; the information box has no Yes
            answer("Return")  # the box's only button
            check("a protected folder is refused and stays", os.path.exists(os.path.join(work, "profile", "Downloads")))
            # Its item menu offers the move greyed: choosing it does nothing, not even a refusal.
            run("xdotool", "mousemove", str(x + 100), str(y + 48 + 40 + 16 + 32 * 5), "click", "3")
            text_until(lambda: ocr(shot("item-menu-protected"), x + 100, y + 48 + 40 + 16 + 32 * 5, 360, 200),
                       ["Recycle Bin"])
            run("xdotool", "key", "Up")  # from the top round to the last entry, the move
            run("xdotool", "key", "Return")
            check("a protected folder's item menu offers no move", wait_for(message_box, 5) is None)
            run("xdotool", "key", "Escape")  # the menu, if the greyed entry left it open
            if message_box():
                answer("Return")  # a refusal box, had one come after all
            key("Escape")
            # Select the first row (the folder docs) and copy its path.
            click(window, 100, 48 + 40 + 16)
            run("xdotool", "key", "--window", window, "ctrl+c")
            copied = wait_for(lambda: run("xclip", "-selection", "clipboard", "-o").stdout, 10)
            check("Ctrl+C copies the selected path", copied == folder + "\\docs", copied)
            notice = lambda path: notice_text(path, x, y, w, h)
            status = lambda path: ocr(path, x, y + h - 29, w, 29)
            # The item menu (right click): its fourth entry on a folder is "Copy path".
            run("xdotool", "mousemove", str(x + 100), str(y + row(3)), "click", "3")
            listed = text_until(lambda: ocr(shot("item-menu"), x + 100, y + row(3), 360, 200),
                                ["Copy path", "Recycle Bin"])
            check("the item menu lists its entries", "Copy path" in listed and "Recycle Bin" in listed, listed)
            for _ in range(4):
                run("xdotool", "key", "Down")
            run("xdotool", "key", "Return")
            copied = wait_for(lambda: run("xclip", "-selection", "clipboard", "-o").stdout == folder + "\\pics", 10)
            check("the item menu copies the path", copied is not None)
            said = text_until(lambda: notice(shot("path-copied")), ["Path copied"], 3)
            check("the notice says the path was copied", "Path copied" in said, said)
            gone = wait_for(lambda: notice(shot("_probe")) == "", 8, 0.5)
            check("the notice goes away by itself", gone is not None)
            # The main menu: its last entry opens the About box.
            click(window, w - 26, 24)
            listed = text_until(lambda: ocr(shot("main-menu"), x + w - 420, y + 30, 420 + min(200, 1400 - x - w), 420),
                                ["Analyze again", "About Spadrim"])
            check("the main menu lists its entries", "Analyze again" in listed and "About Spadrim" in listed, listed)
            run("xdotool", "key", "Up")
            run("xdotool", "key", "Return")
            box = wait_for(message_box, 10)
            if box:
                about = text_until(lambda: ocr(shot("about"), *geometry(box)),
                                   ["0.2.0", "quickly shows what is filling your disk", "brightfen.example"])
                check("the About box shows version, tagline and site",
                      "0.2.0" in about and "quickly shows what is filling your disk" in about
                      and "brightfen.example" in about, about)
                # The version block says the same, from the same one place.
                said = version_block(args.exe)
                check("the version block of Spadrim.exe carries the same version",
                      said == {"FileVersion": "0.2.0", "ProductVersion": "0.2.0"}, said)
                answer("Return")
            else:
                check("the About box opens", False)
            # An item deleted since the scan is not reported as moved, and stays in the tree.
            os.remove(os.path.join(work, "ghost.mp4"))
            click(window, 100, row(4))
            key("Delete")
            answer("y")
            said = text_until(lambda: notice(shot("missing-item")), ["no longer there"])
            path = os.path.join(args.shots, "missing-item.png")
            check("a vanished item: nothing was done", "no longer there" in said, said)
            tiles = colours_in(path, x + column + 10, y + 60, w - column - 20, h - 60 - 30 - 50)
            check("a vanished item stays in the treemap", "#8B5CF6" in tiles, len(tiles))
            # A generated file goes to the trash: the root's size (in the status line while nothing is
            # selected or hovered) drops by the file's size, and the notice names it.
            # With no row selected or hovered, every row starts in the panel colour.
            plain = lambda name: wait_for(
                lambda: colours_in(shot(name), x + 2, y + row(0) - 16, 4, 32 * 6) == {PANEL[0]}, 10)
            key("Escape")
            hover(window, w // 2, 24)
            plain("before-recycle")
            before = last_size(status(os.path.join(args.shots, "before-recycle.png")))
            click(window, 100, row(1))
            key("Delete")
            answer("y")
            gone = wait_for(lambda: not os.path.exists(os.path.join(work, "copy a.bin")), 20)
            check("a confirmed move takes the file off the disk", gone is not None)
            key("Escape")
            hover(window, w // 2, 24)
            said = text_until(lambda: notice(shot("after-recycle-file")) if plain("after-recycle-file") else "",
                              ["frees"], 3)
            after = last_size(status(os.path.join(args.shots, "after-recycle-file.png")))
            check("the notice names the size moved", "frees 1.05 MB" in said, said)
            # Each figure is rounded to three digits: allow for both roundings.
            check("the root's size drops by the file's size",
                  before and after and abs(before - after - 1_100_000) < 0.01 * before, (before, after))
            # Delete asks first ("No" is the default); Y answers Yes, and the folder goes to the trash.
            click(window, 100, row(0))
            key("Delete")
            wait_for(message_box, 10)
            kept = os.path.exists(os.path.join(work, "docs"))  # nothing moves before the answer
            answer("y")
            gone = wait_for(lambda: not os.path.exists(os.path.join(work, "docs")), 20)
            check("a confirmed move takes the folder off the disk", kept and gone is not None, (kept, gone))
            if gone:
                treemap = lambda path: [pixel(path, x + column + 20 + dx, y + 100 + dy)
                                        for dx in range(0, w - column - 40, 40) for dy in range(0, 300, 40)]
                wait_for(lambda: (lambda path: results_shown(path) and "#10B981" not in treemap(path))(
                    shot("after-recycle")), 10)
                path = os.path.join(args.shots, "after-recycle.png")
                tiles = treemap(path)
                check("the moved files leave the treemap", results_shown(path) and "#10B981" not in tiles,
                      sorted(set(tiles))[:6])
    finally:
        stop(process)
        reg_set_dword(SETTINGS, "FollowChanges", 1)
        shutil.rmtree(work, ignore_errors=True)

    # The frame Wine draws runs Windows' own loops: the caption buttons maximise and restore, a border
    # drag resizes, Alt+F4 and the close button close. The picture must follow every change of size, and
    # closing must save the placement.
    run("wine", "reg", "delete", SETTINGS, "/v", "Placement", "/f")
    sample = tempfile.mkdtemp(prefix="spadrim-frame-")
    process = None
    try:
        make_sample(sample)
        folder = "Z:" + sample.replace("/", "\\")
        title = folder + " - Spadrim"
        closed_at = None
        process, window = start(folder)
        if window and wait_for(lambda: window_name(window) == title, 30):
            wrong = fitted("results-normal", window)
            check("the results fit the window as it opens", not wrong, wrong)
            normal = geometry(window)
            maximised = maximise(window)
            check("the maximise button makes the window fill the screen", maximised, client(window))
            wrong = fitted("results-maximised", window)
            check("maximised, the picture follows: header and Menu button at the right edge, status line at the bottom",
                  not wrong, wrong)
            press_caption_button(window, "maximise")  # the same button restores now
            restored = wait_for(lambda: geometry(window) == normal, 15)
            check("the restore button gives back the former rectangle", restored, (geometry(window), normal))
            wrong = fitted("results-restored", window)
            check("restored, the picture follows", not wrong, wrong)
            # The bottom-right corner of the border, dragged 200 pixels left and 120 up.
            x0, y0, w0, h0 = normal
            corner = (x0 + w0 - 2, y0 + h0 - 2)
            drag(corner, (corner[0] - 200, corner[1] - 120))
            # Wine may still be working through the pointer's path when xdotool is done with it.
            dragged = lambda x1, y1, w1, h1: ((x1, y1) == (x0, y0) and abs(w0 - 200 - w1) <= 2
                                              and abs(h0 - 120 - h1) <= 2)
            resized = wait_for(lambda: dragged(*geometry(window)), 15)
            check("a drag on the border's corner resizes the window", resized, (normal, geometry(window)))
            wrong = fitted("results-resized", window)
            check("after a border drag the picture follows", not wrong, wrong)
            # Alt+F4 asks for the system command that closes: the placement is saved on the way out.
            click(window, 100, client(window)[3] - 10)  # on the status line: only gives the window the keyboard
            closed_at = outer_rect(window)
            press(window, "alt+F4")
            code = ended(process, 30)
            check("Alt+F4 closes the window and the process exits with 0", code == 0 and find_window() is None, code)
            saved = saved_placement()
            check("Alt+F4 saves the placement: shown normally, in the rectangle it had", saved == (1, closed_at),
                  (saved, closed_at))
        process, window = start(folder)
        if window and wait_for(lambda: window_name(window) == title, 30):
            check("the next start puts the window where it was closed", outer_rect(window) == closed_at,
                  (outer_rect(window), closed_at))
            check("the maximise button maximises the restored window", maximise(window), geometry(window))
            run("wine", "reg", "delete", SETTINGS, "/v", "Placement", "/f")
            press_caption_button(window, "close")
            code = ended(process, 30)
            check("the close button closes the window and the process exits with 0",
                  code == 0 and find_window() is None, code)
            saved = saved_placement()
            check("the close button saves the placement: maximised, over the normal rectangle",
                  saved == (3, closed_at), (saved, closed_at))
        stop(process)

        # The results in the dark theme, in a window of the default size.
        run("wine", "reg", "delete", SETTINGS, "/v", "Placement", "/f")
        reg_set_dword(THEME, "AppsUseLightTheme", 0)
        process, window = start(folder)
        if window and wait_for(lambda: window_name(window) == title, 30):
            wrong = fitted("results-dark", window, theme=1)
            check("dark results fit the window, in the dark bar, rule and window colours", not wrong, wrong)
            path = os.path.join(args.shots, "results-dark.png")
            x, y, w, h = client(window)
            column = column_width(w)
            # The list column down to where the notice pill (white text) may reach into it.
            chrome = (colours_in(path, x, y, w, HEADER) | colours_in(path, x, y + h - STATUS, w, STATUS)
                      | colours_in(path, x, y + HEADER, column, h - HEADER - STATUS - 70))
            light = chrome & {WINDOW[0], BAR[0], PANEL[0], LINE[0]}
            check("no light-theme colour in the dark header, list and status line", not light, sorted(light))
            tiles = colours_in(path, x + column + 10, y + 60, w - column - 20, h - 60 - STATUS - 50)
            check("dark results: the list on the dark panel, Documents tiles in the treemap",
                  pixel(path, x + 4, y + h - STATUS - 5) == PANEL[1] and "#10B981" in tiles,
                  (pixel(path, x + 4, y + h - STATUS - 5), len(tiles)))
    finally:
        if process:
            stop(process)
        reg_set_dword(THEME, "AppsUseLightTheme", 1)
        shutil.rmtree(sample, ignore_errors=True)

    # A WM_CLOSE from outside saves the placement too; a stored maximised placement reopens maximised.
    process, window = start()
    if window:
        run("wine", "taskkill", "/im", "Spadrim.exe")  # without /f: a WM_CLOSE, which saves the placement
        wait_for(lambda: find_window() is None, 20)
    stop(process)
    placement = reg_query(SETTINGS, "Placement")
    check("the placement is saved on close", "REG_BINARY" in placement.stdout, placement.stdout + placement.stderr)
    # Write a maximised placement (showCmd 3) and check the window fills the screen.
    blob = bytearray(44)
    blob[0:4] = (44).to_bytes(4, "little")
    blob[8:12] = (3).to_bytes(4, "little")
    for offset, value in ((28, 100), (32, 100), (36, 900), (40, 700)):
        blob[offset:offset + 4] = value.to_bytes(4, "little")
    run("wine", "reg", "add", SETTINGS, "/v", "Placement", "/t", "REG_BINARY", "/d", blob.hex(), "/f")
    process, window = start()
    if window:
        check("a stored maximised placement reopens maximised", fills_screen(window), client(window))
        press_caption_button(window, "maximise")  # restores
        back = wait_for(lambda: outer_rect(window) == (100, 100, 900, 700), 15)
        check("restoring it gives the stored normal rectangle", back, outer_rect(window))
    stop(process)

    # The Explorer verb: written at start, left alone at the next start, removed by --unregister.
    VERB = r"HKCU\Software\Classes\Directory\shell\Spadrim"
    command = reg_query(VERB + r"\command")
    check("the folder verb runs Spadrim", "Spadrim.exe" in command.stdout and '"%1"' in command.stdout, command.stdout)
    check("the verb has its label", "Analyze space with Spadrim" in reg_query(VERB, "MUIVerb").stdout)
    check("the background verb uses %V", '"%V"' in reg_query(r"HKCU\Software\Classes\Directory\Background\shell\Spadrim\command").stdout)
    user_reg = os.path.join(args.prefix, "user.reg")
    stamp = re.compile(r"^\[Software\\\\Classes\\\\Directory\\\\shell\\\\Spadrim\] (\d+)", re.M)
    before = stamp.search(open(user_reg, encoding="utf-8", errors="replace").read())
    time.sleep(1.1)  # the key's stamp counts seconds: a rewrite would land in a later one
    process, window = start()
    stop(process)
    after = stamp.search(open(user_reg, encoding="utf-8", errors="replace").read())
    check("a second start writes nothing under the verb keys",
          before is not None and after is not None and before.group(1) == after.group(1),
          (before and before.group(1), after and after.group(1)))
    unregister = subprocess.run(["wine", args.exe, "--unregister"], env=ENV, capture_output=True, timeout=60)
    check("--unregister exits at once", unregister.returncode == 0 and find_window() is None)
    check("--unregister removes the verbs", reg_query(VERB).returncode != 0)
    check("--unregister removes the settings", reg_query(SETTINGS).returncode != 0)

tally.finish("window")
