#!/usr/bin/python3
"""What Spadrim.exe hands to the Windows shell, end to end under Wine on a virtual display: Show in File
Explorer runs the system's Explorer, never an explorer.exe in the current directory or beside Spadrim.exe;
Documents moved elsewhere (here into a OneDrive folder) is protected where it lives; of "a" and "a." side
by side, "a." is neither moved nor mistaken for "a"; a move's notice says what became of the file; and
Shift+F10 opens the item menu of the selection.

    shell_test.py --exe build/windows/Spadrim.exe --stand-in build/windows/tests/stand_in.exe \
        --prefix build/windows/wineprefix --shots DIR

Expects a prefix prepared by scripts/wine/prefix.sh. Prints a line per check and ends with
"shell: N passed, N failed"."""
import argparse
import os
import re
import shutil
import tempfile

import desktop
import tally
from desktop import (HEADER, answer, check, client, message_box, notice_text, ocr, run, setup, shot, start, stop,
                     text_until, virtual_display, wait_for, windows_path, window_name)

parser = argparse.ArgumentParser()
parser.add_argument("--exe", required=True)
parser.add_argument("--stand-in", required=True)
parser.add_argument("--prefix", required=True)
parser.add_argument("--shots", required=True)
parser.add_argument("--display", default=":94")
args = parser.parse_args()
for name in ("exe", "stand_in", "prefix", "shots"):  # the test changes directory
    setattr(args, name, os.path.abspath(getattr(args, name)))

SHELL_FOLDERS = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders"


def row(index):
    """The middle of list row `index` in the client area, at 96 DPI."""
    return HEADER + 40 + 16 + 32 * index


def write(path, size):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(b"s" * size)


def explorer_selecting(name):
    """Whether a process runs Explorer with /select on a path ending in `name` (Wine shows a program's
    Windows command line as its process's)."""
    listed = run("pgrep", "-af", "explorer").stdout
    return any("/select" in line and name in line for line in listed.splitlines())


setup(args.exe, args.prefix, args.display, args.shots)
work = tempfile.mkdtemp(prefix="spadrim-shell-")
try:
    # Spadrim.exe in a folder of its own with an explorer.exe beside it, started from a folder that holds
    # another: the stand-in writes explorer.exe.ran beside itself when it runs.
    program = os.path.join(work, "program")
    started_in = os.path.join(work, "started in")
    for folder in (program, started_in):
        os.makedirs(folder)
        shutil.copy(args.stand_in, os.path.join(folder, "explorer.exe"))
    shutil.copy(args.exe, os.path.join(program, "Spadrim.exe"))
    desktop.EXE = os.path.join(program, "Spadrim.exe")
    scanned = os.path.join(work, "scanned")
    write(os.path.join(scanned, "a."), 30_000)  # rows, largest first: OneDrive, a., a, kept.txt
    write(os.path.join(scanned, "a"), 20_000)
    write(os.path.join(scanned, "kept.txt"), 10_000)
    documents = os.path.join(scanned, "OneDrive", "Documents")
    write(os.path.join(documents, "report.txt"), 100_000)
    folder = windows_path(scanned)

    with virtual_display():
        before = re.search(r"Personal\s+REG_EXPAND_SZ\s+(.*)", run("wine", "reg", "query", SHELL_FOLDERS, "/v",
                                                                   "Personal").stdout)
        run("wine", "reg", "add", SHELL_FOLDERS, "/v", "Personal", "/t", "REG_EXPAND_SZ", "/d",
            windows_path(documents), "/f")
        os.chdir(started_in)
        process, window = start(folder)
        titled = wait_for(lambda: window and window_name(window) == folder + " - Spadrim", 30)
        check("the folder is analysed", titled is not None, window and window_name(window))
        if titled:
            x, y, w, h = client(window)
            key = lambda *keys: run("xdotool", "key", "--window", window, *keys)
            notice = lambda name: notice_text(shot(name), x, y, w, h)
            menu_text = lambda name, index: ocr(shot(name), x, y + row(index) - 16, 420, 220)

            # Show in File Explorer on kept.txt: the second entry of its menu, opened with the mouse.
            run("xdotool", "mousemove", str(x + 100), str(y + row(3)), "click", "3")
            text_until(lambda: menu_text("menu-kept", 3), ["Show in File Explorer"])
            for _ in range(2):
                run("xdotool", "key", "Down")
            run("xdotool", "key", "Return")
            opened = wait_for(lambda: explorer_selecting("kept.txt"), 20)
            check("Show in File Explorer starts the system's Explorer", opened is not None,
                  run("pgrep", "-af", "explorer").stdout)
            strays = [folder for folder in (program, started_in)
                      if os.path.exists(os.path.join(folder, "explorer.exe.ran"))]
            check("no explorer.exe beside Spadrim or in the start directory runs", not strays, strays)
            # Explorer's window would take the keys meant for Spadrim: it goes.
            for line in run("pgrep", "-af", "explorer").stdout.splitlines():
                if "/select" in line:
                    run("kill", line.split()[0])

            # Shift+F10 opens the item menu of the selected row (a., a file), at that row.
            desktop.click(window, 100, row(1))
            key("shift+F10")
            listed = text_until(lambda: menu_text("menu-key", 1), ["Show in File Explorer", "Recycle Bin"])
            check("Shift+F10 opens the selection's item menu at its row",
                  "Show in File Explorer" in listed and "Recycle Bin" in listed, listed)
            run("xdotool", "key", "Escape")

            # a. is not moved: the shell would be handed "a", the file beside it.
            desktop.click(window, 100, row(1))
            key("Delete")
            said = text_until(lambda: notice("inexact-name"), ["another item"], 8)
            check("a. is refused with a notice saying why", "another item" in said, said)
            if message_box():
                answer("y")  # had it asked, the test goes on to show what the move does
                wait_for(lambda: not os.path.exists(os.path.join(scanned, "a")), 5)
            check("recycling a. leaves a in place",
                  os.path.exists(os.path.join(scanned, "a")) and os.path.exists(os.path.join(scanned, "a.")))

            # A move that reaches the Bin says so.
            desktop.click(window, 100, row(3))
            key("Delete")
            answer("y")
            gone = wait_for(lambda: not os.path.exists(os.path.join(scanned, "kept.txt")), 20)
            said = text_until(lambda: notice("moved"), ["Moved to the Recycle Bin"])
            check("a move to the Bin is reported as one", gone and "Moved to the Recycle Bin" in said, said)

            def refusal(name):
                """The text of the box Delete brings up on the selection; the box is closed (a question would
                take Yes, so that a folder that should have been refused is seen to go)."""
                key("Delete")
                box = wait_for(message_box, 10)
                if not box:
                    return ""
                said = text_until(lambda: ocr(shot(name), *desktop.geometry(box)), ["rely on this folder"])
                answer("y")
                if message_box():
                    answer("Return")  # the information box's only button
                return said

            # Documents, moved into OneDrive, is protected there, and so is the OneDrive folder holding it.
            desktop.click(window, 100, row(0))
            said = refusal("protected-onedrive")
            check("a folder holding the relocated Documents is refused", "rely on this folder" in said, said)
            key("Return")  # into OneDrive
            wait_for(lambda: window_name(window).endswith("OneDrive - Spadrim"), 10)
            desktop.click(window, 100, row(0))
            said = refusal("protected-documents")
            check("the relocated Documents itself is refused", "rely on this folder" in said, said)
            check("Documents stays", os.path.exists(os.path.join(documents, "report.txt")))
        stop(process)
        run("wine", "reg", "add", SHELL_FOLDERS, "/v", "Personal", "/t", "REG_EXPAND_SZ", "/d",
            before.group(1).strip() if before else r"%USERPROFILE%\Documents", "/f")
finally:
    os.chdir("/")
    shutil.rmtree(work, ignore_errors=True)
tally.finish("shell")
