#!/usr/bin/python3
"""The release end to end under Wine: scripts/release builds the current version and an older one
(0.1.9), both signed with a throw-away certificate; the release folder is checked (stripped programs with
their debug information beside them, signatures, digests, the update manifest); the installer is run
silently and interactively; the older build, installed, updates itself to the release through our curl
stand-in (stand_in.exe in the prefix's System32, serving the release's own manifest and installer); and
the uninstaller leaves nothing behind.

    installer_test.py --stand-in build/windows/tests/stand_in.exe --prefix build/windows/wineprefix \\
                      --shots DIR --work build/installer-test

Prints a line per check, the update cycle's log, and ends with "installer: N passed, N failed"."""
import argparse
import hashlib
import json
import os
import re
import shutil
import subprocess
import time

import desktop
import tally
from desktop import (check, ended, find_window, geometry, message_box, ocr, press, reg_query, run, setup, shot,
                     start, stop, text_until, unix_path, version_block, virtual_display, wait_for, windows_path,
                     wine_variable)
from signing import make_signer, pkcs12, signer_of, trust

parser = argparse.ArgumentParser()
parser.add_argument("--stand-in", required=True)
parser.add_argument("--prefix", required=True)
parser.add_argument("--shots", required=True)
parser.add_argument("--work", required=True)
parser.add_argument("--display", default=":97")
args = parser.parse_args()

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
VERSION, PREVIOUS = "0.2.0", "0.1.9"
PUBLISHER = "Brightfen Co., Ltd."
UNINSTALL = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Spadrim"
VERBS = [r"HKCU\Software\Classes\Directory\shell\Spadrim", r"HKCU\Software\Classes\Directory\Background\shell\Spadrim",
         r"HKCU\Software\Classes\Drive\shell\Spadrim"]
SETTINGS = r"HKCU\Software\Spadrim"
SILENT = ["/SILENT", "/SUPPRESSMSGBOXES", "/NORESTART"]
OBJDUMP = "x86_64-w64-mingw32-objdump"

work = os.path.abspath(args.work)
shutil.rmtree(work, ignore_errors=True)
os.makedirs(work)
setup(os.path.join(work, "unused.exe"), args.prefix, args.display, args.shots)
root, chain, key = make_signer(os.path.join(work, "signer"), PUBLISHER)
certificate = pkcs12(chain, key, os.path.join(work, "signer", "signer.p12"), "test-only")


def release(*options, signed=True):
    """Runs scripts/release; returns its output (the build's included)."""
    env = dict(os.environ)
    env.pop("SPADRIM_SIGNING_CERT", None)
    if signed:
        env.update(SPADRIM_SIGNING_CERT=certificate, SPADRIM_SIGNING_PASSWORD="test-only")
    done = subprocess.run([os.path.join(ROOT, "scripts", "release"), *options], env=env, capture_output=True,
                          text=True, timeout=1800)
    if done.returncode != 0:
        print(done.stdout[-4000:], done.stderr[-4000:], flush=True)
    return done


def sections(path):
    return set(re.findall(r"^\s*\d+\s+(\.\S+)", run(OBJDUMP, "-h", path).stdout, re.M))


def digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


current = os.path.join(work, "release")
previous = os.path.join(work, "previous")
built = release("--out", current)
check("scripts/release builds the release", built.returncode == 0, built.stderr[-2000:])
print("\n".join(built.stdout.strip().splitlines()[-4:]), flush=True)  # the sizes scripts/release reports
setup_name = "Spadrim-Setup-%s.exe" % VERSION
installer = os.path.join(current, setup_name)

# What the release folder holds.
for program in ("Spadrim.exe", "spadrim-cli.exe"):
    path = os.path.join(current, program)
    held, debug = sections(path), sections(path + ".debug")
    check(program + " is stripped, and links to its debug information",
          not any(s.startswith(".debug_") for s in held) and ".gnu_debuglink" in held, sorted(held))
    check(program + ".debug holds the debug information", ".debug_info" in debug and ".debug_line" in debug,
          sorted(debug))
    check(program + " is signed by the maker", signer_of(path, root[0]) == PUBLISHER, signer_of(path, root[0]))
check("the installer is signed by the maker", signer_of(installer, root[0]) == PUBLISHER)
check("the stripped Spadrim.exe carries the release's version",
      version_block(os.path.join(current, "Spadrim.exe")) == {"FileVersion": VERSION, "ProductVersion": VERSION})
sums = subprocess.run(["sha256sum", "-c", "SHA256SUMS"], cwd=current, capture_output=True, text=True)
check("SHA256SUMS names the programs and the installer, and they match",
      sums.returncode == 0 and len(sums.stdout.splitlines()) == 3 and setup_name in sums.stdout, sums.stdout)
with open(os.path.join(current, "update.json")) as f:
    manifest = json.load(f)
check("update.json offers this installer: version, size, digest, an address on the maker's site",
      manifest.get("version") == VERSION and manifest.get("size") == os.path.getsize(installer)
      and manifest.get("sha256") == digest(installer)
      and manifest.get("url") == "https://brightfen.example/Spadrim/" + setup_name, manifest)
sizes = {name: os.path.getsize(os.path.join(current, name)) for name in ("Spadrim.exe", "spadrim-cli.exe", setup_name)}
print("sizes: " + ", ".join("%s %d bytes" % item for item in sizes.items()), flush=True)

unsigned = release("--out", os.path.join(work, "unsigned"), signed=False)
check("without a certificate the release is built unsigned and says so",
      unsigned.returncode == 0 and "NOT signed" in unsigned.stdout
      and signer_of(os.path.join(work, "unsigned", setup_name), root[0]) is None, unsigned.stdout[-500:])

built = release("--version", PREVIOUS, "--out", previous)
check("an older version builds from the same sources", built.returncode == 0 and version_block(
    os.path.join(previous, "Spadrim.exe")) == {"FileVersion": PREVIOUS, "ProductVersion": PREVIOUS})


def reg_values(key):
    """A key's values as a dict of texts (DWORDs as numbers), or None when the key is missing."""
    out = reg_query(key)
    if out.returncode != 0:
        return None
    values = {}
    for line in out.stdout.splitlines():
        parts = line.strip().split(None, 2)
        if len(parts) == 3 and parts[1].startswith("REG_"):
            values[parts[0]] = int(parts[2], 16) if parts[1] == "REG_DWORD" else parts[2]
    return values


def setup_windows():
    return run("xdotool", "search", "--onlyvisible", "--name", "Spadrim.*Setup").stdout.split()


def install(path, *arguments, timeout=180):
    """Runs an installer to its end, watching for any page it shows. Returns (exit code, pages seen)."""
    process = subprocess.Popen(["wine", path, *arguments], env=desktop.ENV, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    seen = False
    end = time.monotonic() + timeout
    while process.poll() is None and time.monotonic() < end:
        seen = seen or bool(setup_windows())
        time.sleep(0.2)
    return ended(process, 1), seen


def setup_box():
    """The installer's message box: a second window captioned like its pages."""
    found = setup_windows()
    return found[1] if len(found) > 1 else None


def interactive_install(close_first):
    """Runs the installer with its pages while Spadrim is open: Install on the folder page, then, asked to
    close Spadrim, Cancel; or (close_first) closes Spadrim as its user would, Retry, and Finish on the last
    page. Returns the exit code and the box's text, or the last page's."""
    process = subprocess.Popen(["wine", installer], env=desktop.ENV, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    page = wait_for(lambda: (setup_windows() or [None])[0], 60)
    said = ""
    if page:
        press(page, "Return")  # the folder page's default button: Install
        box = wait_for(setup_box, 30)
        if box:
            said = text_until(lambda: ocr(shot("installer-spadrim-open"), *geometry(box)),
                              ["is open", "Close it", "Retry"])
            if close_first:
                run("wine", "taskkill", "/IM", "Spadrim.exe")  # a close message, as the user's click sends
                wait_for(lambda: find_window() is None, 30)
                press(box, "Return")  # Retry
                wait_for(lambda: setup_box() is None, 30)
                said = text_until(lambda: ocr(shot("installer-finished"), *geometry(page)),
                                  ["Completing Spadrim Setup"])
                press(page, "Return")  # Finish, with "Run Spadrim" ticked
            else:
                press(box, "Escape")
    return ended(process, 60), said


def leftovers():
    """Whatever of Spadrim is left in the prefix."""
    found = [path for path in (folder, shortcut) if os.path.exists(path)]
    found += [key for key in [UNINSTALL, SETTINGS] + VERBS if reg_query(key).returncode == 0]
    return found


def installed_verb(verb):
    """An Explorer verb's command when it runs the installed Spadrim, otherwise None."""
    command = reg_query(verb + r"\command").stdout
    return command if "Programs\\Spadrim\\Spadrim.exe" in command else None


def uninstall():
    """Runs the uninstaller silently. It copies itself away to delete the install folder and returns at
    once, so what counts is the moment its work is done."""
    run("wine", os.path.join(folder, "Uninstall.exe"), "/S")
    return wait_for(lambda: not leftovers(), 60) is not None


with virtual_display():
    local_windows = wine_variable("LOCALAPPDATA")
    local = unix_path(local_windows)
    appdata = unix_path(wine_variable("APPDATA"))
    temp = unix_path(wine_variable("TEMP"))
    folder = os.path.join(local, "Programs", "Spadrim")
    shortcut = os.path.join(appdata, "Microsoft", "Windows", "Start Menu", "Programs", "Spadrim.lnk")
    installed = os.path.join(folder, "Spadrim.exe")
    system32 = os.path.join(os.path.abspath(args.prefix), "drive_c", "windows", "system32")
    curl, plan_file, log_file = (os.path.join(system32, name) for name in ("curl.exe", "curl-plan.txt",
                                                                         "curl-log.txt"))
    # A past run's remains.
    shutil.rmtree(folder, ignore_errors=True)
    shutil.rmtree(os.path.join(temp, "Spadrim"), ignore_errors=True)
    if os.path.exists(shortcut):
        os.remove(shortcut)
    for stale in [UNINSTALL, SETTINGS] + VERBS:
        run("wine", "reg", "delete", stale, "/f")
    trusted_root = None
    process = None
    try:
        # The pages speak Windows' display language.
        captions = {}
        for language in ("ko_KR.UTF-8", "de_DE.UTF-8", "en_US.UTF-8"):
            shown = subprocess.Popen(["wine", installer], env=dict(desktop.ENV, LANG=language, LC_ALL=language),
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            page = wait_for(lambda: (run("xdotool", "search", "--onlyvisible", "--name", "Spadrim").stdout.split()
                                     or [None])[0], 60)
            captions[language[:2]] = run("xdotool", "getwindowname", page).stdout.strip() if page else None
            run("wineserver", "-k")
            ended(shown, 30)
        check("the installer's pages speak the user's language: Korean, German, English",
              captions == {"ko": "Spadrim 설치", "de": "Installation von Spadrim", "en": "Spadrim Setup"}, captions)

        # A silent install: no pages, everything in place. An argument it does not know changes nothing.
        code, pages = install(installer, *SILENT, "/UNKNOWN=yes")
        check("a silent install ends with exit code 0 and shows no page", code == 0 and not pages, (code, pages))
        check("the programs and the uninstaller are in the per-user programs folder",
              all(os.path.exists(os.path.join(folder, name)) for name in ("Spadrim.exe", "spadrim-cli.exe",
                                                                          "Uninstall.exe"))
              and digest(installed) == digest(os.path.join(current, "Spadrim.exe")), os.listdir(folder)
              if os.path.isdir(folder) else None)
        check("the uninstaller is signed by the maker",
              signer_of(os.path.join(folder, "Uninstall.exe"), root[0]) == PUBLISHER)
        with open(shortcut, "rb") if os.path.exists(shortcut) else open(os.devnull, "rb") as f:
            link = f.read()
        check("the Start menu has a shortcut to Spadrim.exe",
              b"Spadrim.exe" in link or "Spadrim.exe".encode("utf-16-le") in link, len(link))
        values = reg_values(UNINSTALL) or {}
        wanted_size = sum(os.path.getsize(os.path.join(folder, n)) for n in os.listdir(folder)) // 1024
        check("the Uninstall key names, dates and sizes the program",
              values.get("DisplayName") == "Spadrim" and values.get("DisplayVersion") == VERSION
              and values.get("Publisher") == PUBLISHER
              and values.get("DisplayIcon", "").lower().endswith("spadrim.exe,0")
              and values.get("UninstallString", "").lower().endswith('uninstall.exe"')
              and unix_path(values.get("InstallLocation", "")) == folder
              and abs(values.get("EstimatedSize", 0) - wanted_size) <= 4, values)

        # The installer has the program write its Explorer verbs, so that they are there though the silent
        # install started nothing.
        check("a silent install puts the Explorer verbs in place, pointing at the installed Spadrim",
              all(installed_verb(verb) for verb in VERBS), [reg_query(verb + r"\command").stdout for verb in VERBS])

        # The installed Spadrim starts, shows its home screen and points the Explorer verb at itself.
        desktop.EXE = local_windows + r"\Programs\Spadrim\Spadrim.exe"
        process, window = start()
        home = text_until(lambda: ocr(shot("installed-home"), *geometry(window)), ["What is taking up"]) \
            if window else ""
        check("Spadrim starts from the installed folder and shows the home screen", "What is taking up" in home,
              home)
        # Waited for with a bound: the started program writes the key in its own time.
        command = wait_for(lambda: installed_verb(VERBS[0]), 30)
        check("the Explorer verb points at the installed Spadrim", command is not None,
              reg_query(VERBS[0] + r"\command").stdout)

        # With Spadrim open, an interactive install asks to close it: Cancel leaves everything as it was;
        # Retry, once it is closed, installs and offers to run it.
        # (The installer keeps the files' own times, so a program gone missing tells whether it ran.)
        cli = os.path.join(folder, "spadrim-cli.exe")
        os.remove(cli)
        code, said = interactive_install(close_first=False)
        check("an interactive install shows its pages and asks to close a running Spadrim",
              all(words in said for words in ("is open", "Close it", "Retry")), said)
        check("Cancel ends it with exit code 2 and installs nothing", code == 2 and not os.path.exists(cli), code)
        code, finished = interactive_install(close_first=True)
        check("Retry after closing Spadrim installs; the last page runs Spadrim",
              code == 0 and "Completing Spadrim Setup" in finished and os.path.exists(cli)
              and wait_for(find_window, 60) is not None, (code, finished))
        stop(process)
        process = None

        # A program that cannot be replaced (spadrim-cli.exe, running: it waits for a scan file on its
        # input) stops the installation with exit code 3; it is never passed over as if installed.
        cli_running = subprocess.Popen(["wine", cli, "--import", "-"], env=desktop.ENV, stdin=subprocess.PIPE,
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_for(lambda: run("pgrep", "-f", "-i", r"spadrim-cli\.exe").returncode == 0, 30)
        code, _ = install(installer, *SILENT)
        cli_running.kill()
        run("wineserver", "-k")
        check("a program in use stops a silent install with exit code 3", code == 3, code)

        check("a silent uninstall leaves nothing of Spadrim behind", uninstall(), leftovers())

        # The update cycle: 0.1.9 installed, the release published through the curl stand-in.
        code, _ = install(os.path.join(previous, "Spadrim-Setup-%s.exe" % PREVIOUS), *SILENT)
        check("the older version installs", code == 0 and (reg_values(UNINSTALL) or {}).get("DisplayVersion")
              == PREVIOUS and version_block(installed)["FileVersion"] == PREVIOUS)
        shutil.copyfile(args.stand_in, curl)
        manifest_url = "https://brightfen.example/Spadrim/update.json?v=%s&lang=en" % PREVIOUS
        with open(plan_file, "w") as f:
            f.write("%s\tfile:%s\n%s\tfile:%s\n" % (manifest_url, windows_path(os.path.join(current, "update.json")),
                                                    manifest["url"], windows_path(installer)))
        if os.path.exists(log_file):
            os.remove(log_file)
        trusted_root = trust(root[0])

        log = []
        began = time.monotonic()

        def note(event):
            log.append("%6.1f s  %s" % (time.monotonic() - began, event))

        def fetched():
            if not os.path.exists(log_file):
                return []
            with open(log_file, encoding="utf-8", errors="replace") as f:
                return [line.split(" | ")[-1].strip() for line in f if " | " in line]

        process, window = start()
        note("Spadrim %s started from %s" % (PREVIOUS, desktop.EXE))
        if wait_for(fetched, 30):
            note("curl fetched " + fetched()[0])
        box = wait_for(message_box, 30)
        question = text_until(lambda: ocr(shot("update-offered"), *geometry(box)), ["Update now?"]) if box else ""
        note("asked: " + " / ".join(line for line in question.splitlines() if line.strip()))
        check("the older version offers the release: the new and the current version named",
              VERSION in question and PREVIOUS in question and "Update now?" in question, question)
        if box:
            press(box, "y")
            note("answered Yes")
        if wait_for(lambda: len(fetched()) >= 2, 60):
            note("curl fetched " + fetched()[1])
        old_code = ended(process, 120)
        note("Spadrim %s ended with exit code %s" % (PREVIOUS, old_code))
        check("the older version fetched the manifest, then the installer it names, and closed for it",
              fetched() == [manifest_url, manifest["url"]] and old_code == 0, (fetched(), old_code))
        replaced = wait_for(lambda: os.path.exists(installed) and digest(installed) == digest(
            os.path.join(current, "Spadrim.exe")), 120)
        note("installed Spadrim.exe replaced by the release's" if replaced else "installed Spadrim.exe NOT replaced")
        running = wait_for(lambda: find_window() and run("pgrep", "-f", "-i", r"programs.spadrim.spadrim\.exe")
                           .returncode == 0, 60)
        note("a Spadrim window is up again, run from the install folder" if running else "no Spadrim came back")
        block = version_block(installed)
        values = reg_values(UNINSTALL) or {}
        note("installed version block: %s; Uninstall key: DisplayVersion %s" % (block["FileVersion"],
                                                                                values.get("DisplayVersion")))
        check("the installer replaced the files and the new version started",
              replaced is not None and running is not None and block["FileVersion"] == VERSION
              and values.get("DisplayVersion") == VERSION, log)
        check("the verified installer stays in the working folder",
              os.path.exists(os.path.join(temp, "Spadrim", setup_name)))
        print("update cycle:\n  " + "\n  ".join(log), flush=True)
        run("wineserver", "-k")
        wait_for(lambda: find_window() is None, 30)

        check("uninstalling the updated Spadrim leaves nothing behind, nor its downloads", uninstall()
              and not os.path.exists(os.path.join(temp, "Spadrim")), leftovers())
    finally:
        if process:
            stop(process)
        if trusted_root:
            run("wine", "reg", "delete", trusted_root, "/f")
        for leftover in (curl, plan_file, log_file):
            if os.path.exists(leftover):
                os.remove(leftover)

tally.finish("installer")
