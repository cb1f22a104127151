#!/usr/bin/python3
"""The search field of Spadrim.exe under Wine, as a screen reader in another process reads it (uia_probe.exe):
Ctrl+F reaches it, xdotool types ASCII and Korean into it as characters (read back through the field's
Ctrl+C and the clipboard), Ctrl+Backspace takes a word, the first Esc clears it and the second gives the
focus back to the list, and typing in the list starts a search.

    search_test.py --exe build/windows/Spadrim.exe --probe build/windows/tests/uia_probe.exe \\
                   --prefix build/windows/wineprefix --shots DIR

Prints a line per check and ends with "search: N passed, N failed"."""
import argparse
import ctypes
import os
import re
import subprocess
import tempfile
import time

from desktop import (ENV, client, ocr, run, setup, shot, start, stop, virtual_display, wait_for, window_name,
                     windows_path)
from tally import check, finish

parser = argparse.ArgumentParser()
parser.add_argument("--exe", required=True)
parser.add_argument("--probe", required=True)
parser.add_argument("--prefix", required=True)
parser.add_argument("--shots", required=True)
parser.add_argument("--display", default=":94")
args = parser.parse_args()
setup(args.exe, args.prefix, args.display, args.shots)

LINE = re.compile(r' *(\w+) "((?:[^"\\]|\\.)*)"((?: \[\w+\])*)(?: help="(?:[^"\\]|\\.)*")?'
                  r'(?: value="((?:[^"\\]|\\.)*)")?$')


class Reader:
    """uia_probe.exe kept running: one walk of the window's children, then their properties asked again
    (a walk per step may hang Wine's COM; see uia_probe.cpp)."""

    def __init__(self):
        self.process = subprocess.Popen(["wine", args.probe], env=ENV, stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)

    def ask(self, command):
        self.process.stdin.write(command.encode() + b"\n")
        self.process.stdin.flush()
        lines = []
        while True:
            line = self.process.stdout.readline().decode("utf-8", "replace").rstrip("\r\n")
            if line == "." or not line and self.process.poll() is not None:
                return lines
            lines.append(line)

    def field(self, command="again"):
        """The search field's (value, focused), or None when it is not there."""
        for line in self.ask(command):
            found = LINE.match(line)
            if found and found.group(1) == "Edit":
                unquote = re.sub(r"\\(.)", r"\1", found.group(4) or "")
                return unquote, "[focused]" in found.group(3)
        return None

    def close(self):
        try:
            self.process.stdin.write(b"quit\n")
            self.process.stdin.close()
            self.process.wait(timeout=20)
        except (OSError, subprocess.TimeoutExpired):
            self.process.kill()


def reads(reader, wanted, timeout=15):
    """Waits until what the reader says of the field, (value, focused), passes `wanted`; what it last said."""
    last = []
    wait_for(lambda: last.append(reader.field()) or wanted(last[-1]), timeout, 0.5)
    return last[-1] if last else None


def bind_characters(text):
    """Puts each character of text past ASCII on a keycode of its own (120 on: past the arrows, Home, End
    and Delete), with nothing on the keycodes after them. xdotool would bind a character to a scratch
    keycode for the moment of its press, gone before Wine looks the keycode up; and Wine can only type a
    keycode it gave a virtual key, from a pool that the virtual display's many extra keys would use up."""
    x11 = ctypes.CDLL("libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XChangeKeyboardMapping.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int,
                                           ctypes.POINTER(ctypes.c_ulong), ctypes.c_int]
    x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    display = x11.XOpenDisplay(ENV["DISPLAY"].encode())
    wide = sorted({c for c in text if ord(c) > 0x7F})
    symbols = [0x1000000 + ord(c) for c in wide] + [0] * (136 - len(wide))  # Unicode keysyms
    x11.XChangeKeyboardMapping(display, 120, 1, (ctypes.c_ulong * 136)(*symbols), 136)
    x11.XSync(display, 0)
    x11.XCloseDisplay(display)
    time.sleep(1)  # Wine reads the new map when the X server tells it


def field_box(area):
    """The search field on the screen, as the layout places it at 96 DPI."""
    x, y, w, _ = area
    width = min(max(round(0.28 * w), 160), 300)
    return x + w - 82 - 8 - width, y + 8, width, 32


with tempfile.TemporaryDirectory() as root, virtual_display():
    for name in ("alpha.iso", "beta.txt"):
        with open(os.path.join(root, name), "wb") as out:
            out.write(b"x" * 1000)
    folder = windows_path(root)
    process, window = start(folder)
    reader = None
    try:
        check("the results open", window and wait_for(lambda: window_name(window).startswith(folder), 60))
        key = lambda *keys: run("xdotool", "key", "--window", window, *keys)
        type_text = lambda text: run("xdotool", "type", "--delay", "80", text)

        def held():
            """The field's whole text, through its own Ctrl+A and Ctrl+C and the clipboard Wine shares with X."""
            key("ctrl+a")
            key("ctrl+c")
            time.sleep(0.5)
            text = run("xclip", "-selection", "clipboard", "-t", "UTF8_STRING", "-o").stdout
            key("End")
            return text

        # Wine's client side reads the focus but not the value (its patterns are stubs): the value is
        # read back through the clipboard instead.
        reader = Reader()
        first = wait_for(lambda: reader.field("top"), 30, 1)
        check("an edit named Search, without the focus", first is not None and not first[1], first)
        key("ctrl+f")
        typed = "ext:iso 한국어 語\U0001D11E"  # and a character of two UTF-16 units
        bind_characters(typed)
        type_text(typed)
        focus = wait_for(lambda: (reader.field() or ("", False))[1], 10)
        got = held()
        check("Ctrl+F, then the typed text arrives whole, Korean included", focus and got == typed, (focus, got))
        key("ctrl+BackSpace")
        got = held()
        check("Ctrl+Backspace takes the last word", got == "ext:iso 한국어 ", got)
        key("ctrl+BackSpace")
        key("ctrl+z")
        got = held()
        check("Ctrl+Z brings it back", got == "ext:iso 한국어 ", got)
        key("Escape")
        read = []
        def placeholder():
            x, y, w, h = field_box(client(window))
            read.append("".join(ocr(shot("search-cleared"), x + 30, y, w - 38, h).split()))
            return "earch" in read[-1]  # the caret stands on the first letter

        wait_for(placeholder, 15)
        check("Esc clears the field, which shows its placeholder", "earch" in read[-1], read[-1])
        key("Escape")
        got = reads(reader, lambda field: field and not field[1])
        check("a second Esc gives the focus back to the list", got and not got[1], got)
        type_text("beta")
        got = reads(reader, lambda field: field and field[1])
        check("typing in the list starts a search in the field", got and held() == "beta", got)
    finally:
        if reader:
            reader.close()
        stop(process)

finish("search")
