#!/usr/bin/env python3
"""What a screen reader in another process is told about Spadrim.exe under Wine: uia_probe.exe asks the
running window for its UI Automation elements and prints them; the checks read that print on the home,
progress and results screens, while the keyboard moves the focus round the window and a notice appears.

Wine 8 answers names, control types, help texts, enabled, keyboard focus and live settings, and walks
the tree; it does not implement the client's side of the patterns (UiaGetPatternProvider is a stub), so
Invoke, Select, Expand and RangeValue are driven in-process by the AccessWindow tests of
spadrim_tests.exe. The dumps stay in the shots folder: uia-home.txt, uia-progress.txt, uia-results.txt."""
import argparse
import os
import re
import select
import subprocess
import tempfile
import time

from desktop import (ENV, card_point, check, click, client, colours_in, run, setup, shot, start, stop,
                     virtual_display, wait_for, window_name)
from tally import finish

parser = argparse.ArgumentParser()
parser.add_argument("--exe", required=True)
parser.add_argument("--probe", required=True)
parser.add_argument("--prefix", required=True)
parser.add_argument("--shots", required=True)
parser.add_argument("--display", default=":96")
args = parser.parse_args()


class Hung(Exception):
    """The window stopped answering UI Automation. Wine 8's COM can deadlock a worker thread of the
    window's process while it tears down a stub a client let go of (a race in rpcrt4, met at each step of
    a walk; see uia_probe.cpp); the window's own thread goes on, only readers are shut out. The phases
    walk the tree only when it changed, and a phase that met the hang runs again on a new window."""


class Reader:
    """A client of the window's UI Automation that stays connected, as a screen reader does."""

    def __init__(self):
        self.process = subprocess.Popen(["wine", args.probe], env=ENV, stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)

    def lines(self, command="dump", timeout=30):
        """The lines of one walk of the tree. Raises Hung when the window stopped answering."""
        try:
            self.process.stdin.write(command.encode() + b"\n")
            self.process.stdin.flush()
        except OSError:
            raise Hung("the probe ended")
        out, end = b"", time.monotonic() + timeout
        while not out.endswith(b"\n.\n") and out != b".\n":
            left = end - time.monotonic()
            if left <= 0 or not select.select([self.process.stdout], [], [], left)[0]:
                raise Hung(f"no answer within {timeout} s")
            chunk = os.read(self.process.stdout.fileno(), 65536)
            if not chunk:
                raise Hung("the probe ended")
            out = (out + chunk).replace(b"\r\n", b"\n")  # the C runtime's text mode
        return out.decode("utf-8", "replace").splitlines()[:-1]

    def close(self):
        try:
            self.process.stdin.write(b"quit\n")
            self.process.stdin.close()
            self.process.wait(timeout=20)
        except (OSError, subprocess.TimeoutExpired):
            self.process.kill()


READER = None


def probe(command="dump"):
    """The elements as lines of (depth, type, name, flags, help), or [] when the window gave none."""
    elements = []
    for line in READER.lines(command):
        found = re.match(r'( *)(\w+) "((?:[^"\\]|\\.)*)"((?: \[\w+\])*)(?: help="((?:[^"\\]|\\.)*)")?(?: value="(?:[^"\\]|\\.)*")?$',
                         line)
        if found:
            unquote = lambda text: re.sub(r"\\(.)", r"\1", text or "")
            elements.append((len(found.group(1)) // 2, found.group(2), unquote(found.group(3)),
                             found.group(4), unquote(found.group(5))))
    return elements


def save(name, elements):
    with open(os.path.join(args.shots, name), "w", encoding="utf-8") as out:
        for depth, kind, text, flags, help_text in elements:
            out.write(f'{"  " * depth}{kind} "{text}"{flags}' + (f' help="{help_text}"' if help_text else "") + "\n")


def having(predicate, timeout=20, command="dump"):
    """The first dump of which predicate holds, polled within timeout; the last one tried otherwise. Each
    walk is some hundred calls across processes: the first waits for the window to have drawn what was
    asked, and they come a second apart."""
    last = []
    time.sleep(0.5)

    def attempt():
        nonlocal last
        last = probe(command)
        return last if predicate(last) else None

    return wait_for(attempt, timeout, step=1.0) or last


def named(elements, text, kind=None):
    return next((e for e in elements if e[2] == text and (kind is None or e[1] == kind)), None)


def children(elements, parent):
    """The elements one level under `parent` (an element of the list)."""
    at = elements.index(parent)
    out = []
    for e in elements[at + 1:]:
        if e[0] <= parent[0]:
            break
        if e[0] == parent[0] + 1:
            out.append(e)
    return out


def focused(elements):
    return [e[2] for e in elements if "[focused]" in e[3]]


def make_sample(root):
    os.makedirs(os.path.join(root, "docs"))
    for i in range(1, 4):
        with open(os.path.join(root, "docs", f"d{i}.txt"), "wb") as f:
            f.write(b"d" * (40_000 * i))
    os.makedirs(os.path.join(root, "pics"))
    for i in range(1, 4):
        with open(os.path.join(root, "pics", f"p{i}.jpg"), "wb") as f:
            f.write(os.urandom(30_000 * i))


PENDING = []


def check_later(name, ok, detail=""):
    """A phase's checks count once the phase has run to its end."""
    PENDING.append((name, ok, detail))


def attempt(name, phase, *extra):
    """Runs a phase on a new window, started with `extra`, and a reader of its own; again, six times in
    all, when the window stops answering readers (see Hung)."""
    global READER
    for _ in range(6):
        PENDING.clear()
        process, window = start(*extra)
        READER = Reader()
        try:
            phase(window)
            for check_name, ok, detail in PENDING:
                check(check_name, ok, detail)
            return
        except Hung as hung:
            print(f"(Wine stopped answering readers: {hung}; the phase runs again on a new window)", flush=True)
        finally:
            READER.close()
            stop(process)
    check(f"{name}: ran to its end in six tries", False)


def home_and_progress(window):
    # Home: the cards say which drive and how full, the folder card and the Recycle Bin line follow. The
    # drives are listed on a worker and come a moment after the first frame.
    drive_card = lambda e: e[1] == "Button" and re.search(r"\(\w:\), .* free of ", e[2])
    home = having(lambda e: named(e, "Choose a folder…") is not None and any(map(drive_card, e)))
    save("uia-home.txt", home)
    check_later("home: the window is named by its title", bool(home) and home[0][2] == "Spadrim",
                home[0] if home else "no elements")
    check_later("home: the menu button", named(home, "Menu", "Button") is not None)
    check_later("home: the question is there as text",
                named(home, "What is taking up your disk space?", "Text") is not None)
    drives = [e for e in home if drive_card(e)]
    check_later("home: each drive card names the drive and its space", len(drives) >= 2, [e[2] for e in home])
    folder_card = named(home, "Choose a folder…", "Button")
    check_later("home: the folder card, with its second line as help",
                folder_card is not None and folder_card[4] == "Analyze just one folder, quickly", folder_card)
    recycle = next((e for e in home if e[2].startswith("In the Recycle Bin: ")), None)
    check_later("home: the Recycle Bin figure", recycle is not None and recycle[1] == "Text", recycle)
    check_later("home: and its button", named(home, "Empty the Recycle Bin", "Button") is not None)
    # The keyboard starts on the first card; Tab takes it to the next, Shift+Tab round to the Menu.
    check_later("home: the first card has the focus", focused(home) == [e[2] for e in drives[:1]], focused(home))
    run("xdotool", "key", "--window", window, "Tab")
    moved = focused(having(lambda e: focused(e) == [d[2] for d in drives[1:2]], 15, "again"))
    run("xdotool", "key", "--window", window, "shift+Tab", "shift+Tab")
    back = focused(having(lambda e: focused(e) == ["Menu"], 15, "again"))
    check_later("home: Tab goes to the next card and Shift+Tab back round to the Menu",
                moved == [d[2] for d in drives[1:2]] and back == ["Menu"], (moved, back))

    # Progress: Z: is the whole Unix file system, long enough to read the screen while it is walked.
    width = client(window)[2]
    click(window, *card_point(width, 1))
    wait_for(lambda: window_name(window).startswith("Z:\\"), 20)
    # A walk that began on the drives may end on the progress screen: wait for a whole one.
    progress = having(lambda e: named(e, "Cancel", "Button") is not None and named(e, "Home", "Button") is not None
                      and bool(e) and e[0][2].startswith("Z:"), 20)
    save("uia-progress.txt", progress)
    bar = next((e for e in progress if e[1] == "ProgressBar"), None)
    check_later("progress: the bar is a progress bar named by the heading", bar is not None and bar[2] == "Analyzing…", bar)
    check_later("progress: the figures", any(re.search(r" files  ·  \d[\d,]* folders?$", e[2]) for e in progress),
                [e[2] for e in progress])
    check_later("progress: Cancel and Home are buttons",
                named(progress, "Cancel", "Button") is not None and named(progress, "Home", "Button") is not None)
    run("xdotool", "key", "--window", window, "Escape")
    wait_for(lambda: window_name(window) == "Spadrim", 20)
    check_later("progress: Escape cancels, and the drives are told again",
                named(having(lambda e: named(e, "Choose a folder…") is not None, 20), "Choose a folder…") is not None)


def results_and_keyboard(window, folder):
    wait_for(lambda: window_name(window) == f"{folder} - Spadrim", 30)
    results = having(lambda e: named(e, "Folders", "TabItem") is not None and any(
        e2[2].startswith("docs, ") for e2 in e))
    save("uia-results.txt", results)
    titled = bool(results) and results[0][2] == f"{folder} - Spadrim"
    check_later("results: the window is named by its title", titled, results[0] if results else "no elements")
    top = [(e[1], e[2]) for e in results if e[0] == 1][:6]
    check_later("results: the header from Home to Menu, the path and the search field between",
                top == [("Button", "Home"), ("Button", "Up"), ("Text", folder), ("Edit", "Search"),
                        ("Button", "Analyze again"), ("Button", "Menu")], top)
    check_later("results: Up is disabled at the scanned folder", "[disabled]" in (named(results, "Up") or ("",) * 5)[3])
    tabs = next((e for e in results if e[1] == "Tab"), None)
    check_later("results: four tab items", tabs is not None and [c[2] for c in children(results, tabs)] == [
              "Folders", "Largest files", "By type", "Duplicates"])
    rows = children(results, named(results, "Folders", "List")) if named(results, "Folders", "List") else []
    check_later("results: the list's rows say name, size and share",
                [r[2] for r in rows] == ["docs, 234 KB, 57.1%", "pics, 176 KB, 42.9%"], [r[2] for r in rows])
    treemap = named(results, "Treemap", "Group")
    check_later("results: the treemap is a group named with its folder as help",
                treemap is not None and treemap[4] == folder, treemap)
    docs_tile = named(results, "docs, 234 KB", "Group")
    check_later("results: a folder's tiles are under its own",
                docs_tile is not None and [c[2] for c in children(results, docs_tile)] == [
                    "d3.txt, 117 KB", "d2.txt, 78.1 KB", "d1.txt, 39.1 KB"])
    legend = named(results, "By type", "Group")
    check_later("results: the kinds legend", legend is not None and [c[2] for c in children(results, legend)] == [
              "Documents 234 KB", "Pictures 176 KB"])
    check_later("results: the status line", any(e[1] == "StatusBar" for e in results))
    check_later("results: the list has the focus at first", focused(results) == ["Folders"], focused(results))

    # The keyboard route: Tab from the list to the treemap, then round the header buttons and the search
    # field to the tabs.
    key = lambda *keys: run("xdotool", "key", "--window", window, *keys)
    # Only the focus moves: the elements already met are asked again, without a walk (see uia_probe.cpp).
    key("Tab")
    check_later("Tab: to the treemap",
                focused(having(lambda e: focused(e) == ["Treemap"], 15, "again")) == ["Treemap"])
    key("Right")
    moved = having(lambda e: len(focused(e)) == 1 and focused(e)[0] not in ("Treemap", "Folders"), 15, "again")
    check_later("an arrow key in the treemap: a tile has the focus", focused(moved) in (
              ["docs, 234 KB"], ["pics, 176 KB"], ["d3.txt, 117 KB"], ["p3.jpg, 87.9 KB"]), focused(moved))
    route = []
    for _ in range(6):
        key("Tab")
        after = having(lambda e: len(focused(e)) == 1 and (not route or focused(e)[0] != route[-1]), 15, "again")
        route.append(focused(after)[0] if focused(after) else "?")
    check_later("Tab: round the header buttons and the search field to the tab strip",
                route == ["Home", "Up", "Analyze again", "Menu", "Search", "Folders"], route)
    wait_for(lambda: run("xdotool", "getwindowfocus").stdout.strip() == window, 10)
    key("Right")
    largest = having(lambda e: named(e, "Largest files", "List") is not None, 15)
    check_later("an arrow key on the tab strip: Largest files, its list and focus",
                named(largest, "Largest files", "List") is not None and focused(largest) == ["Largest files"],
                (focused(largest), [e[2] for e in largest if e[0] == 1]))
    first_file = children(largest, named(largest, "Largest files", "List"))[:1] if named(
        largest, "Largest files", "List") else []
    check_later("Largest files: a row's help is its folder and when it was written",
                first_file and first_file[0][2] == "d3.txt, 117 KB, 28.6%"
                and re.fullmatch(re.escape(folder + "\\docs") + r", modified \d{4}-\d\d-\d\d \d\d:\d\d",
                                 first_file[0][4]), first_file)

    # A click on a row gives it the focus; a notice is a polite live region.
    click(window, 60, 48 + 40 + 20)  # the first row
    picked = having(lambda e: focused(e) == ["d3.txt, 117 KB, 28.6%"], 15, "again")
    check_later("a click on a row gives it the focus", focused(picked) == ["d3.txt, 117 KB, 28.6%"], focused(picked))
    key("ctrl+c")
    # It lives 3.5 s: only the window's own children are asked for, which is quicker than the whole tree.
    notice = having(lambda e: named(e, "Path copied") is not None, 10, "top")
    told = named(notice, "Path copied")
    check_later("a notice is live text", told is not None and told[1] == "Text" and "[live]" in told[3], told)


def imported_scan(window, shown_root):
    """A scan file given on the command line: ncdu's export of the sample folder, seen as a scan of it."""
    wait_for(lambda: window_name(window) == f"{shown_root} - Spadrim", 30)
    seen = having(lambda e: named(e, "Folders", "TabItem") is not None and named(e, "docs, 234 KB", "Group") is not None)
    save("uia-imported.txt", seen)
    check_later("scan file: the title names the path ncdu recorded", bool(seen) and seen[0][2] == f"{shown_root} - Spadrim",
                seen[0] if seen else "no elements")
    again = named(seen, "Analyze again", "Button")
    check_later("scan file: Analyze again is disabled", again is not None and "[disabled]" in again[3], again)
    duplicates = named(seen, "Duplicates", "TabItem")
    check_later("scan file: the Duplicates tab is greyed, and says why",
                duplicates is not None and "[disabled]" in duplicates[3] and "scan file" in duplicates[4], duplicates)
    docs_tile = named(seen, "docs, 234 KB", "Group")
    check_later("scan file: the treemap has the folder's tiles", docs_tile is not None and [
        c[2] for c in children(seen, docs_tile)] == ["d3.txt, 117 KB", "d2.txt, 78.1 KB", "d1.txt, 39.1 KB"])
    x, y, w, h = client(window)
    drawn = colours_in(shot("imported"), x + w // 2, y + 60, w // 2 - 10, h - 60 - 90)
    check_later("scan file: the treemap is drawn, documents in their colour", "#10B981" in drawn, len(drawn))


setup(args.exe, args.prefix, args.display, args.shots)
with virtual_display(), tempfile.TemporaryDirectory() as sample:
    make_sample(sample)
    run("wine", "reg", "delete", r"HKCU\Software\Spadrim", "/f")
    attempt("home and progress", home_and_progress)
    # The sample folder, on the command line.
    sample_folder = "Z:" + sample.replace("/", "\\")
    attempt("results", lambda window: results_and_keyboard(window, sample_folder), sample_folder)
    # The same folder as ncdu saw it, opened from its export as Explorer would pass the file.
    with tempfile.TemporaryDirectory() as exports:
        export = os.path.join(exports, "sample.json")
        subprocess.run(["ncdu", "--ignore-config", "-o", export, sample], check=True, capture_output=True)
        attempt("scan file", lambda window: imported_scan(window, sample), "Z:" + export.replace("/", "\\"))

finish("access")
