"""What the end-to-end tests of Spadrim.exe share: running Windows programs under Wine on an Xvfb
display, finding windows and their client areas inside the frame Wine draws, pressing keys, clicking and
dragging, screenshots, their pixels and their texts (read with tesseract), the registry, and counting
checks. Call setup() first."""
import atexit
import contextlib
import os
import re
import shutil
import subprocess
import tempfile
import time

from tally import check  # noqa: F401 (the scripts take it from here)

ENV = {}
CONVERT = "/usr/bin/convert"  # ImageMagick's, not a stand-in earlier on PATH
SHOTS = ""
EXE = ""

# Colours the window draws, light theme first, then dark (src/gfx/palette.h).
WINDOW = ("#F2F3F5", "#18191C")  # clears every frame
BAR = ("#FFFFFF", "#222327")  # header bar and status line
LINE = ("#E2E4E8", "#34363C")  # the rule under the header and over the status line
PANEL = ("#FFFFFF", "#1E1F23")  # the list column
ACCENT = ("#0D9488", "#2DD4BF")
HEADER = 48  # header bar height at 96 DPI, its rule included
STATUS = 30  # status line height on the results screen, its rule included

# Wine's frame around the client area: (left, top, right, bottom) in pixels, measured from the first
# window drawn, which must lie wholly on the screen. All zero when Wine leaves the frame to a window manager.
INSETS = None
# The main window the last start() found: a message box has the same caption as the home screen's title.
# (X reuses the numbers of closed windows, so only the current one may be set apart.)
MAIN_WINDOW = None


def setup(exe, prefix, display, shots):
    global SHOTS, EXE
    ENV.clear()
    ENV.update(os.environ, WINEPREFIX=os.path.abspath(prefix), WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=",
               DISPLAY=display, LANG="C.UTF-8", LC_ALL="")
    ENV["SPADRIM_SCANS"] = windows_path(scans_folder())  # for what other programs start, such as installers
    SHOTS, EXE = shots, exe
    os.makedirs(shots, exist_ok=True)


@contextlib.contextmanager
def virtual_display():
    """An Xvfb display of 1400 x 900 for the duration; Wine's processes end with it. Without auto-repeat:
    xdotool presses keys through XTEST when the window has the focus, and on a busy machine the gap between
    its press and release can outlast the repeat delay, so one Right became two and a check went wrong."""
    xvfb = subprocess.Popen(["Xvfb", ENV["DISPLAY"], "-screen", "0", "1400x900x24", "-nolisten", "tcp", "-r"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        wait_for(lambda: run("xdpyinfo").returncode == 0, 20)
        yield
    finally:
        run("wineserver", "-k")
        xvfb.terminate()
        xvfb.wait(timeout=30)
        probe = os.path.join(SHOTS, "_probe.png")
        if os.path.exists(probe):
            os.remove(probe)


def run(*command, check_rc=False):
    return subprocess.run(command, env=ENV, capture_output=True, text=True, timeout=120, check=check_rc)


def wait_for(predicate, timeout=30.0, step=0.2):
    """Polls until predicate() gives something true; returns it, or None at the timeout."""
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        value = predicate()
        if value:
            return value
        time.sleep(step)
    return None


def find_window():
    out = run("xdotool", "search", "--name", "Spadrim").stdout.split()
    return out[0] if out else None


def window_name(window):
    return run("xdotool", "getwindowname", window).stdout.strip()


def geometry(window):
    """The X window's rectangle on the screen: with Wine drawing the frame, caption and borders included."""
    out = run("xdotool", "getwindowgeometry", "--shell", window).stdout
    values = dict(line.split("=", 1) for line in out.split() if "=" in line)
    return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])


def client(window):
    """The window's client area on the screen (x, y, width, height): what Spadrim draws itself."""
    x, y, w, h = geometry(window)
    left, top, right, bottom = INSETS or (0, 0, 0, 0)
    return x + left, y + top, w - left - right, h - top - bottom


def shot(name):
    path = os.path.join(SHOTS, name + ".png")
    run("import", "-window", "root", path)
    _pictures.pop(path, None)
    return path


class Picture:
    """A screenshot's pixels as 8-bit RGB, whatever form the file stores them in (ImageMagick writes an
    all-black capture as a one-channel grey image)."""

    def __init__(self, path):
        data = subprocess.run([CONVERT, path, "-alpha", "off", "-colorspace", "sRGB", "-type", "TrueColor",
                               "-depth", "8", "ppm:-"], capture_output=True, timeout=120).stdout
        header = re.match(rb"P6\s+(\d+)\s+(\d+)\s+255\s", data)
        if not header:
            raise RuntimeError("not a picture: " + path)
        self.width, self.height = int(header.group(1)), int(header.group(2))
        self.data = data[header.end():]

    def rgb(self, x, y):
        """The colour at a point as (r, g, b), or None off the picture."""
        if not (0 <= x < self.width and 0 <= y < self.height):
            return None
        i = 3 * (y * self.width + x)
        return tuple(self.data[i:i + 3])

    def region(self, x, y, w, h):
        """The pixels of a rectangle (clipped to the picture), row after row."""
        left, right = max(x, 0), min(x + w, self.width)
        rows = range(max(y, 0), min(y + h, self.height))
        return b"".join(self.data[3 * (r * self.width + left):3 * (r * self.width + right)] for r in rows) \
            if left < right else b""


_pictures = {}


def picture(path):
    stamp = os.stat(path)
    stamp = (stamp.st_mtime_ns, stamp.st_size)
    cached = _pictures.get(path)
    if not cached or cached[0] != stamp:
        cached = _pictures[path] = (stamp, Picture(path))
    return cached[1]


def pixel(path, x, y):
    """The colour at a point of a screenshot as #RRGGBB, or "" off the screen."""
    rgb = picture(path).rgb(x, y)
    return "#%02X%02X%02X" % rgb if rgb else ""


def colours_in(path, x, y, w, h):
    """Every colour in a region of a screenshot, as #RRGGBB texts."""
    data = picture(path).region(x, y, w, h)
    return {"#%02X%02X%02X" % tuple(c) for c in {data[i:i + 3] for i in range(0, len(data), 3)}}


def same_region(first, second, x, y, w, h):
    """Whether two screenshots are identical in a region."""
    return picture(first).region(x, y, w, h) == picture(second).region(x, y, w, h)


def ocr(path, x, y, w, h, light_on_dark=False):
    """The text tesseract reads in a region of a screenshot, enlarged three times first."""
    crop = path + ".ocr.png"
    run(CONVERT, path, "-crop", "%dx%d+%d+%d" % (w, h, x, y), "+repage", "-resize", "300%", "-colorspace", "Gray",
        *(["-negate"] if light_on_dark else []), crop)
    text = run("tesseract", crop, "-", "--psm", "6").stdout
    os.remove(crop)
    return " ".join(text.split())


def column_width(w):
    """The list column's width in a client `w` pixels wide, at 96 DPI (list_width)."""
    return round(min(0.6 * w, min(560, max(360, 0.42 * w))))


def format_size(n):
    """The window's form of a size (src/kinds/kinds.cpp)."""
    if n < 1024:
        return f"{n} B"
    x, unit = n / 1024, 0
    units = ["KB", "MB", "GB", "TB"]
    while x >= 1024 and unit < 3:
        x, unit = x / 1024, unit + 1
    return f"{x:.{0 if x >= 100 else 1 if x >= 10 else 2}f} {units[unit]}"


def words(path, x, y, w, h):
    """The words tesseract reads in a region of a screenshot, each with the centre of its box on the
    screen."""
    crop = path + ".words.png"
    run(CONVERT, path, "-crop", "%dx%d+%d+%d" % (w, h, x, y), "+repage", "-resize", "300%", "-colorspace", "Gray",
        crop)
    table = subprocess.run(["tesseract", crop, "-", "--psm", "11", "tsv"], env=ENV, capture_output=True, text=True,
                           timeout=120).stdout
    os.remove(crop)
    found = []
    for line in table.splitlines()[1:]:
        cells = line.split("\t")
        if len(cells) == 12 and cells[11].strip():
            left, top, width, height = (int(v) for v in cells[6:10])
            found.append((cells[11].strip(), x + (left + width // 2) // 3, y + (top + height // 2) // 3))
    return found


def where(path, area, word):
    """The screen point of the first word read in an area that starts with `word`, or None."""
    for text, px, py in words(path, *area):
        if text.startswith(word):
            return px, py
    return None


def text_until(read, wanted, timeout=15.0):
    """Calls read() (a text from a fresh screenshot) until it holds every wanted piece, at most `timeout`
    seconds; returns the last text read."""
    last = [""]

    def attempt():
        last[0] = read()
        return all(piece in last[0] for piece in wanted)

    wait_for(attempt, timeout, 0.3)
    return last[0]


def notice_text(path, x, y, w, h, status=STATUS):
    """The notice pill's text, above a status line `status` pixels high (none on the home screen). The
    pill is dark and translucent over whatever lies beneath (treemap tiles confuse the reader), so only
    the pill is read: its ends are found along a row above the text. Needs the light theme."""
    top = y + h - status - 60
    shown = picture(path)
    dark = {dx for dx in range(w) if max(shown.rgb(x + dx, top + 4) or (255,)) < 64}
    left = right = w // 2  # the pill is centred
    if left not in dark:
        return ""
    while left - 1 in dark:
        left -= 1
    while right + 1 in dark:
        right += 1
    return ocr(path, x + left + 6, top, right - left - 12, 38, light_on_dark=True)


UNITS = {"B": 1, "KB": 1024, "MB": 1024 ** 2, "GB": 1024 ** 3}


def last_size(text):
    """The last size written in a text ("4.18 MB"), in bytes, or None."""
    found = re.findall(r"(\d+(?:\.\d+)?) ?(KB|MB|GB|B)\b", text)
    return float(found[-1][0]) * UNITS[found[-1][1]] if found else None


def click(window, x, y):
    """Clicks a point of the window's client area."""
    cx, cy, _, _ = client(window)
    run("xdotool", "mousemove", str(cx + x), str(cy + y), "click", "1")


def hover(window, x, y):
    cx, cy, _, _ = client(window)
    run("xdotool", "mousemove", str(cx + x), str(cy + y))


def drag(start, end, steps=20):
    """Presses the left button at a screen point, moves to another in small steps and lets go: all in
    one xdotool run, so a loaded machine cannot tear the gesture apart."""
    command = ["xdotool", "mousemove", str(start[0]), str(start[1]), "mousedown", "1"]
    for i in range(1, steps + 1):
        command += ["sleep", "0.05", "mousemove", str(start[0] + (end[0] - start[0]) * i // steps),
                    str(start[1] + (end[1] - start[1]) * i // steps)]
    run(*command, "sleep", "0.2", "mouseup", "1")


def wiggle(x, y, seconds, span=60, step=0.005):
    """Moves the pointer back and forth along a short line from a screen point, a pixel every `step`
    seconds, for about `seconds`; returns the running xdotool. The steps are short so that even on a busy
    machine the pointer seldom rests for as long as a tenth of a second."""
    command = ["xdotool"]
    for i in range(int(seconds / step)):
        dx = i % (2 * span)
        command += ["mousemove", str(x + min(dx, 2 * span - dx)), str(y), "sleep", str(step)]
    return subprocess.Popen(command, env=ENV, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def message_box():
    """The message box on screen (captioned "Spadrim", like the home screen's main window), or None."""
    found = run("xdotool", "search", "--onlyvisible", "--name", "^Spadrim$").stdout.split()
    boxes = [window for window in found if window != MAIN_WINDOW]
    return boxes[0] if boxes else None


def press(window, key):
    """Presses a key once `window` has the keyboard. The key goes through the X server's real keyboard:
    one sent to a box's X window alone leaves Wine's keyboard state such that a later Enter in a menu does
    nothing."""
    wait_for(lambda: run("xdotool", "getwindowfocus").stdout.strip() == window, 10)
    run("xdotool", "key", key)


def answer(key, wait=True):
    """Presses a key in the message box once it is up and has the keyboard, and (unless told not to: Wine
    sometimes leaves a closed box's X window mapped for a while) waits for it to close; False if none
    came."""
    box = wait_for(message_box, 10)
    if box:
        press(box, key)
        if wait:
            wait_for(lambda: message_box() is None, 10)
    return box is not None


def card_point(width, index):
    """A point inside home-screen card `index` of a client `width` pixels wide, at 96 DPI."""
    content = min(width - 48, 980)
    columns = max(1, (content + 16) // 316)
    card = (content - (columns - 1) * 16) // columns
    left = round((width - content) / 2)
    return left + (index % columns) * (card + 16) + 60, 150 + 48 + (index // columns) * 128 + 40


def measure_frame(path, outer):
    """Wine's frame around the client area, read from a screenshot of a drawn window wholly on the screen:
    down the middle, the client area begins with the first long band of a header bar colour (the caption
    above is another colour, the frame's highlights are a few pixels); along that band the bar begins and
    ends at the side borders; up from the bottom the window or status colour begins at the bottom border.
    Returns (left, top, right, bottom), or None while no such picture is there."""
    shown = picture(path)
    x, y, w, h = outer

    def band(points, colours, length):
        seen = [pixel(path, px, py) for px, py in points]
        for i, colour in enumerate(seen[:len(seen) - length]):
            if colour in colours and all(other == colour for other in seen[i:i + length]):
                return i, colour
        return None, None

    if x < 0 or y < 0 or x + w > shown.width or y + h > shown.height:
        return None
    top, bar = band([(x + w // 2, y + i) for i in range(h // 3)], BAR, 40)
    if top is None:
        return None
    row = y + top + HEADER // 2
    left, _ = band([(x + i, row) for i in range(w // 4)], (bar,), 10)
    right, _ = band([(x + w - 1 - i, row) for i in range(w // 4)], (bar,), 6)
    if left is None or right is None:
        return None
    bottom, _ = band([(x + left + 6, y + h - 1 - i) for i in range(h // 3)], WINDOW + BAR, 10)
    if bottom is None or not left == right == bottom or top < left:
        return None
    return left, top, right, bottom


def frame_drawn(path, area):
    """Whether a screenshot shows a whole frame of Spadrim's in a client area (screen coordinates): the
    header bar with its rule at both ends, and the window or status colour at the bottom-left corner, all
    of one theme. Before its first frame the client area is black."""
    x, y, w, h = area
    return any(pixel(path, x + 4, y + 4) == BAR[t] and pixel(path, x + w - 5, y + 4) == BAR[t]
               and pixel(path, x + 4, y + HEADER - 1) == LINE[t] and pixel(path, x + w - 5, y + HEADER - 1) == LINE[t]
               and pixel(path, x + 4, y + h - 5) in (WINDOW[t], BAR[t]) for t in (0, 1))


def caption_buttons(path, window):
    """The centres of the caption buttons Wine draws, as screen points: "close", "maximise" (restore once
    maximised) and "minimise". Found along the caption's middle row from the right: the close button
    stands alone, the other two touch each other, and all three are as wide."""
    x, y, w, h = geometry(window)
    left, top, right, _ = INSETS
    row = y + (left + top) // 2
    shown = picture(path)
    caption = shown.rgb(x + w - 1 - right, row)  # the caption's colour, just left of the border
    differs = lambda px: sum(abs(a - b) for a, b in zip(shown.rgb(px, row) or caption, caption)) > 60
    runs = []
    for px in range(x + w - 1 - right, x + w // 2, -1):
        if differs(px):
            if runs and runs[-1][0] == px + 1:
                runs[-1][0] = px
            else:
                if len(runs) == 2:
                    break
                runs.append([px, px])
    if len(runs) < 2:
        return None
    (close_left, close_right), (_, pair_right) = runs
    width = close_right - close_left + 1
    return {"close": ((close_left + close_right) // 2, row), "maximise": (pair_right - width // 2, row),
            "minimise": (pair_right - width - width // 2, row)}


def _first_frame(window):
    global INSETS
    path = shot("_probe")
    if INSETS is None:
        INSETS = measure_frame(path, geometry(window))
        if INSETS is None:
            return False
    return frame_drawn(path, client(window))


_scans_root = []


def scans_folder():
    """A fresh empty folder (a Unix path) for a start's remembered scans, removed at the end."""
    if not _scans_root:
        _scans_root.append(tempfile.mkdtemp(prefix="spadrim-scans-"))
        atexit.register(shutil.rmtree, _scans_root[0], True)
    return tempfile.mkdtemp(dir=_scans_root[0])


def start(*extra, scans=None):
    """Starts Spadrim.exe and waits for its window to be drawn: the first such window also gives the
    frame's measure. It remembers its scans in `scans` (a Unix path), by default in a fresh empty folder,
    so that no start finds the scans of another on its home screen or compares with them."""
    env = dict(ENV, SPADRIM_SCANS=windows_path(scans or scans_folder()))
    process = subprocess.Popen(["wine", EXE, *extra], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    global MAIN_WINDOW
    window = MAIN_WINDOW = wait_for(find_window, 60)
    if window:
        if not wait_for(lambda: _first_frame(window), 30):
            print("(the window drew no whole frame within 30 s)", flush=True)
    return process, window


def stop(process):
    run("wineserver", "-k")
    try:
        process.wait(timeout=30)
    except subprocess.TimeoutExpired:
        process.kill()


def ended(process, timeout):
    """The process's exit code once it has ended by itself, or None at the timeout."""
    try:
        return process.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        return None


def windows_path(path):
    """A Unix path as Wine's Z: drive names it."""
    return "Z:" + path.replace("/", "\\")


def unix_path(path):
    return run("winepath", "-u", path).stdout.strip()


def wine_variable(name):
    """An environment variable of the prefix's Windows, such as LOCALAPPDATA or TEMP."""
    return run("wine", "cmd", "/c", "echo %" + name + "%").stdout.strip()


def reg_set_dword(key, name, value):
    run("wine", "reg", "add", key, "/v", name, "/t", "REG_DWORD", "/d", str(value), "/f")


def reg_query(key, name=None):
    command = ["wine", "reg", "query", key] + (["/v", name] if name else [])
    return run(*command)


def reg_binary(key, name):
    """A REG_BINARY value as bytes, or None."""
    found = re.search(r"REG_BINARY\s+([0-9A-Fa-f]*)", reg_query(key, name).stdout)
    return bytes.fromhex(found.group(1)) if found else None


def version_block(path):
    """FileVersion and ProductVersion from a program's version block, as found in its UTF-16 strings."""
    with open(path, "rb") as f:
        image = f.read()
    found = {key: re.search(re.escape(key.encode("utf-16-le")) + rb"\0\0(?:\0\0)?((?:[^\0]\0)+)", image)
             for key in ("FileVersion", "ProductVersion")}
    return {key: match.group(1).decode("utf-16-le") if match else None for key, match in found.items()}
