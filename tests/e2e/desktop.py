"""What the end-to-end tests of Spadrim.exe share: running Windows programs under Wine on an Xvfb
display, finding windows, pressing keys and clicking, screenshots, their pixels and their texts (read with
tesseract), the registry, and counting checks. Call setup() first."""
import contextlib
import os
import re
import subprocess
import time

ENV = {}
CONVERT = "/usr/bin/convert"  # ImageMagick's, not a stand-in earlier on PATH
SHOTS = ""
EXE = ""
passed = failed = 0


def setup(exe, prefix, display, shots):
    global SHOTS, EXE
    ENV.clear()
    ENV.update(os.environ, WINEPREFIX=os.path.abspath(prefix), WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=",
               DISPLAY=display, LANG="C.UTF-8", LC_ALL="")
    SHOTS, EXE = shots, exe
    os.makedirs(shots, exist_ok=True)


@contextlib.contextmanager
def virtual_display():
    """An Xvfb display of 1400 x 900 for the duration; Wine's processes end with it."""
    xvfb = subprocess.Popen(["Xvfb", ENV["DISPLAY"], "-screen", "0", "1400x900x24", "-nolisten", "tcp"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        wait_for(lambda: run("xdpyinfo").returncode == 0, 20)
        yield
    finally:
        run("wineserver", "-k")
        xvfb.terminate()
        probe = os.path.join(SHOTS, "_probe.png")
        if os.path.exists(probe):
            os.remove(probe)


def check(name, ok, detail=""):
    global passed, failed
    passed, failed = (passed + 1, failed) if ok else (passed, failed + 1)
    print(("[ ok ] " if ok else "[FAIL] ") + name + ("" if ok else " " + str(detail)), flush=True)


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
    out = run("xdotool", "getwindowgeometry", "--shell", window).stdout
    values = dict(line.split("=", 1) for line in out.split() if "=" in line)
    return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])


def shot(name):
    path = os.path.join(SHOTS, name + ".png")
    run("import", "-window", "root", path)
    return path


def pixel(path, x, y):
    out = run(CONVERT, path, "-format", "%%[pixel:p{%d,%d}]" % (x, y), "info:").stdout
    numbers = [int(float(n)) for n in re.findall(r"[\d.]+", out)[:3]]
    return "#%02X%02X%02X" % tuple(numbers) if len(numbers) == 3 else out


def colours_in(path, x, y, w, h):
    """Every colour in a region of a screenshot, as #RRGGBB texts."""
    out = run(CONVERT, path, "-crop", "%dx%d+%d+%d" % (w, h, x, y), "+repage", "-unique-colors", "txt:-").stdout
    return set(re.findall(r"#[0-9A-F]{6}", out.upper()))


def ocr(path, x, y, w, h, light_on_dark=False):
    """The text tesseract reads in a region of a screenshot, enlarged three times first."""
    crop = path + ".ocr.png"
    run(CONVERT, path, "-crop", "%dx%d+%d+%d" % (w, h, x, y), "+repage", "-resize", "300%", "-colorspace", "Gray",
        *(["-negate"] if light_on_dark else []), crop)
    text = run("tesseract", crop, "-", "--psm", "6").stdout
    os.remove(crop)
    return " ".join(text.split())


def notice_text(path, x, y, w, h, status=30):
    """The notice pill's text, above a status line `status` pixels high (none on the home screen). The
    pill is dark and translucent over whatever lies beneath (treemap tiles confuse the reader), so only
    the pill is read: its ends are found along a row above the text. Needs the light theme."""
    top = y + h - status - 60
    out = run(CONVERT, path, "-crop", "%dx1+%d+%d" % (w, x, top + 4), "+repage", "txt:-").stdout
    dark = {int(m.group(1)) for m in re.finditer(r"^(\d+),0: \((\d+),(\d+),(\d+)", out, re.M)
            if max(int(m.group(2)), int(m.group(3)), int(m.group(4))) < 64}
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
    wx, wy, _, _ = geometry(window)
    run("xdotool", "mousemove", str(wx + x), str(wy + y), "click", "1")


def hover(window, x, y):
    wx, wy, _, _ = geometry(window)
    run("xdotool", "mousemove", str(wx + x), str(wy + y))


def message_box():
    """The message box on screen (captioned "Spadrim"; the main window's title is longer), or None."""
    found = run("xdotool", "search", "--onlyvisible", "--name", "^Spadrim$").stdout.split()
    return found[0] if found else None


def answer(key, wait=True):
    """Presses a key in the message box once it is up, and (unless told not to: Wine sometimes leaves a
    closed box's X window mapped for a while) waits for it to close; False if none came."""
    box = wait_for(message_box, 10)
    if box:
        run("xdotool", "key", "--window", box, key)
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


def start(*extra):
    """Starts Spadrim.exe and waits for its window to be drawn."""
    process = subprocess.Popen(["wine", EXE, *extra], env=ENV, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    window = wait_for(find_window, 60)
    if window:
        wait_for(lambda: pixel(shot("_probe"), *probe_point(window)) != "#000000", 20)
        time.sleep(1)  # let the first frames settle
    return process, window


def probe_point(window):
    x, y, w, h = geometry(window)
    return x + w // 2, y + h - 20


def stop(process):
    run("wineserver", "-k")
    try:
        process.wait(timeout=30)
    except subprocess.TimeoutExpired:
        process.kill()


def reg_set_dword(key, name, value):
    run("wine", "reg", "add", key, "/v", name, "/t", "REG_DWORD", "/d", str(value), "/f")


def reg_query(key, name=None):
    command = ["wine", "reg", "query", key] + (["/v", name] if name else [])
    return run(*command)
