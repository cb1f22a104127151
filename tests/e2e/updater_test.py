#!/usr/bin/python3
"""Spadrim.exe's update checks and downloads end to end under Wine, without a network: our stand-in
(stand_in.exe) takes the place of the system's curl in the prefix's System32, checks it was given exactly
the fixed arguments and serves files from a plan. Covers the automatic check at start-up, manual checks
(up to date, failed, unusable manifest), a newer version declined and accepted, and downloads that fail,
have the wrong size or digest, are not signed by the maker, are signed but of another version than the
manifest names (an older one: a rollback), or cannot be started; a user's curl configuration that must not
be read, an address that curl must not expand, a download over its ceiling, a transfer that never ends
(and a check asked for meanwhile), and a curl left running when Spadrim ends.

    updater_test.py --exe build/windows/Spadrim.exe --stand-in build/windows/tests/stand_in.exe \\
                    --prefix build/windows/wineprefix --shots DIR

Prints a line per check and ends with "updater: N passed, N failed"."""
import argparse
import hashlib
import json
import os
import shutil
import signal
import struct
import subprocess
import tempfile
import time

import desktop
import tally
from signing import make_signer, sign, trust
from desktop import (answer, check, click, client, find_window, geometry, message_box, notice_text, ocr, reg_query,
                     reg_set_dword, run, setup, shot, start, stop, text_until, unix_path, virtual_display, wait_for,
                     window_name, windows_path, wine_variable)

parser = argparse.ArgumentParser()
parser.add_argument("--exe", required=True)
parser.add_argument("--stand-in", required=True)
parser.add_argument("--prefix", required=True)
parser.add_argument("--shots", required=True)
parser.add_argument("--display", default=":94")
args = parser.parse_args()

SETTINGS = r"HKCU\Software\Spadrim"
MANIFEST_URL = "https://brightfen.example/Spadrim/update.json?v=0.2.0&lang=en"
INSTALLER_URL = "https://downloads.brightfen.example/Spadrim-Setup.exe"
FIXED = ["-q", "--globoff", "-fsSL", "--proto", "=https", "--max-time", "600", "--max-filesize"]
OUTPUT, URL = 10, 11  # where the output file and the address stand among curl's arguments

setup(args.exe, args.prefix, args.display, args.shots)
system32 = os.path.join(os.path.abspath(args.prefix), "drive_c", "windows", "system32")
curl = os.path.join(system32, "curl.exe")
plan_file = os.path.join(system32, "curl-plan.txt")
log_file = os.path.join(system32, "curl-log.txt")
work = tempfile.mkdtemp(prefix="spadrim-updater-")


def serve(manifest=None, manifest_exit=None, installer=None, installer_exit=None, installer_action=None,
          manifest_action=None, installer_url=INSTALLER_URL):
    """Writes curl's plan: the manifest (a dict, or text) or an exit code for it, the same for the installer;
    or a raw action of the stand-in ("hang", "big:N") for either."""
    lines = []
    if manifest is not None:
        path = os.path.join(work, "manifest.json")
        with open(path, "w") as f:
            f.write(manifest if isinstance(manifest, str) else json.dumps(manifest))
        lines.append(MANIFEST_URL + "\tfile:" + windows_path(path))
    elif manifest_exit is not None:
        lines.append(MANIFEST_URL + "\texit:%d" % manifest_exit)
    elif manifest_action is not None:
        lines.append(MANIFEST_URL + "\t" + manifest_action)
    if installer is not None:
        lines.append(installer_url + "\tfile:" + windows_path(installer))
    elif installer_exit is not None:
        lines.append(installer_url + "\texit:%d" % installer_exit)
    elif installer_action is not None:
        lines.append(installer_url + "\t" + installer_action)
    with open(plan_file, "w") as f:
        f.write("\n".join(lines) + "\n")


def curl_log():
    if not os.path.exists(log_file):
        return []
    with open(log_file, encoding="utf-8", errors="replace") as f:
        return [line.rstrip("\n") for line in f if line.strip()]


def curl_calls():
    """Each run of curl's arguments (the stand-in's own remarks left out)."""
    return [line.split(" | ") for line in curl_log() if line not in ("CONFIG READ", "HANGING")]


def curl_running():
    """Whether a stand-in curl process is alive in the prefix."""
    return subprocess.run(["pgrep", "-f", "-i", r"system32.curl\.exe"], capture_output=True).returncode == 0


def newer_url(installer, url, **given):
    manifest = newer(installer, **given)
    manifest["url"] = url
    return manifest


def with_version(source, numbers, target):
    """A copy of the stand-in whose version block (the fixed part, file and product version) says
    `numbers` instead of the 0.3.0.0 it is built with."""
    with open(source, "rb") as f:
        data = bytearray(f.read())
    at = data.find(struct.pack("<I", 0xFEEF04BD))
    ms, ls = numbers[0] << 16 | numbers[1], numbers[2] << 16 | numbers[3]
    data[at + 8:at + 24] = struct.pack("<IIII", ms, ls, ms, ls)
    with open(target, "wb") as f:
        f.write(data)
    return target


def unstartable(source, target):
    """A copy of the stand-in made for a machine no Windows runs, so that starting it fails as an
    installer blocked by an antivirus does: the signature and the version block still check out."""
    with open(source, "rb") as f:
        data = bytearray(f.read())
    header = struct.unpack_from("<I", data, 0x3C)[0]
    struct.pack_into("<H", data, header + 4, 0x0EBC)  # EFI byte code
    with open(target, "wb") as f:
        f.write(data)
    return target


def newer(installer, version="0.3.0", size=None, digest=None):
    """A manifest naming `version`, with the installer's size and digest (upper-case, as some servers write
    it) unless given."""
    with open(installer, "rb") as f:
        data = f.read()
    return {"version": version, "url": INSTALLER_URL, "sha256": digest or hashlib.sha256(data).hexdigest().upper(),
            "size": len(data) if size is None else size}


with virtual_display():
    shutil.copyfile(args.stand_in, curl)
    if os.path.exists(log_file):
        os.remove(log_file)
    temp = unix_path(wine_variable("TEMP"))
    working = os.path.join(temp, "Spadrim")
    installer_path = os.path.join(working, "Spadrim-Setup-0.3.0.exe")
    # A user's curl configuration that would make every transfer insecure and write elsewhere: curl must
    # be told not to read it.
    curlrc = os.path.join(unix_path(wine_variable("APPDATA")), "_curlrc")
    with open(curlrc, "w") as f:
        f.write("insecure\noutput = C:\\curlrc-output.txt\n")
    shutil.rmtree(working, ignore_errors=True)  # a past run's installer and its trace
    unsigned = os.path.join(work, "unsigned.exe")
    shutil.copyfile(args.stand_in, unsigned)
    root, chain, key = make_signer(os.path.join(work, "trusted"), "Brightfen Co., Ltd.")
    signed = sign(unsigned, chain, key, os.path.join(work, "signed.exe"))
    by_other = sign(unsigned, *make_signer(os.path.join(work, "trusted"), "Other Company Ltd.", root)[1:],
                    os.path.join(work, "other.exe"))
    by_stranger = sign(unsigned, *make_signer(os.path.join(work, "untrusted"), "Brightfen Co., Ltd.")[1:],
                       os.path.join(work, "stranger.exe"))
    tampered = os.path.join(work, "tampered.exe")
    with open(signed, "rb") as f:
        data = bytearray(f.read())
    data[0x2000] ^= 0xFF  # inside the code
    with open(tampered, "wb") as f:
        f.write(data)
    trusted_root = trust(root[0])
    reg_set_dword(r"HKCU\Software\Microsoft\Windows\CurrentVersion\Themes\Personalize", "AppsUseLightTheme", 1)
    run("wine", "reg", "delete", SETTINGS, "/f")
    process = None
    try:
        # The first start checks at once, and quietly: nothing newer is no news.
        serve(manifest={"version": "0.2", "url": INSTALLER_URL, "sha256": "00"})
        before = int(time.time())
        process, window = start()
        calls = wait_for(curl_calls, 20) or []
        check("the automatic check runs curl with exactly the fixed arguments, a manifest's ceiling of 64 KiB",
              len(calls) == 1 and len(calls[0]) == 12 and calls[0][:8] == FIXED and calls[0][8:10] == ["65536", "-o"]
              and calls[0][URL] == MANIFEST_URL, calls)
        check("the manifest is fetched into the working folder",
              calls and unix_path(calls[0][OUTPUT]) == os.path.join(working, "update.json"), calls)
        stamp = reg_query(SETTINGS, "LastUpdateCheck").stdout.split()
        check("the time of the automatic check is stored",
              stamp and stamp[-1].isdigit() and before - 5 <= int(stamp[-1]) <= time.time() + 5, stamp)
        read = wait_for(lambda: not os.path.exists(os.path.join(working, "update.json")), 20)
        check("the manifest is deleted once read", read is not None)
        x, y, w, h = client(window)
        # The outcome reaches the window just after the manifest goes: watch for a notice a while.
        spoke = wait_for(lambda: notice_text(shot("_probe"), x, y, w, h, 0), 3, 0.3)
        check("an automatic check that finds nothing new says nothing", spoke is None, spoke)

        def check_manually():
            """Chooses "Check for updates" in the main menu (its third entry from the end) once the last
            notice has gone and the menu is on screen."""
            wait_for(lambda: notice_text(shot("_probe"), x, y, w, h, 0) == "", 8, 0.5)
            click(window, w - 26, 24)
            text_until(lambda: ocr(shot("_probe"), x + w - 420, y + 30, 420 + min(200, 1400 - x - w), 420),
                       ["Check for updates"])
            run("xdotool", "key", "Up", "Up", "Up", "Return")

        def notice_after_check(name):
            """The notice a check or download ends with, not one of those shown while it runs."""
            final = lambda text: text if text and "Checking" not in text and "Downloading" not in text else None
            return wait_for(lambda: final(notice_text(shot(name), x, y, w, h, 0)), 20, 0.1) or ""

        serve(manifest={"version": "0.2.0", "url": INSTALLER_URL, "sha256": "00"})
        check_manually()
        said = notice_after_check("up-to-date")
        check("a manual check says: up to date, and the version", "You're up to date (0.2.0)" in said, said)

        serve(manifest_exit=22)
        check_manually()
        said = notice_after_check("manifest-failed")
        check("a manifest that cannot be fetched: Download failed", "Download failed" in said, said)

        serve(manifest='{"version": "0.3.0", "url": "http://brightfen.example/s.exe", "sha256": "00"}')
        check_manually()
        said = notice_after_check("manifest-unusable")
        check("a manifest that breaks the rules is said in a sentence",
              "Theupdateinformationcouldnotberead" in said.replace(" ", ""), said)

        # A newer version: the question, in its own box, names both versions; No downloads nothing.
        serve(manifest=newer(unsigned), installer=unsigned)
        count = len(curl_calls())
        check_manually()
        box = wait_for(message_box, 10)
        wanted = ["A new version is available: 0.3.0", "current 0.2.0", "Update now?"]
        question = text_until(lambda: ocr(shot("update-question"), *geometry(box)), wanted) if box else ""
        check("a newer version is offered", all(piece in question for piece in wanted), question)
        answer("n")
        declined = count

        def accept(name):
            """Checks, answers Yes and returns the notice the download ends with."""
            check_manually()
            answer("y", wait=False)
            return notice_after_check(name)

        serve(manifest=newer(unsigned), installer_exit=22)
        said = accept("download-failed")
        calls = curl_calls()
        # The declined offer fetched the manifest only; the accepted one fetched it and then the installer.
        check("No downloads nothing",
              [call[-1] for call in calls[declined:]] == [MANIFEST_URL, MANIFEST_URL, INSTALLER_URL], calls[declined:])
        check("the installer is fetched with the fixed arguments into the working folder, capped at its size",
              calls[-1][:8] == FIXED and calls[-1][8] == str(os.path.getsize(unsigned)) and
              calls[-1][URL] == INSTALLER_URL and unix_path(calls[-1][OUTPUT]) == installer_path, calls[-1])
        check("an installer that cannot be fetched: Download failed", "Download failed" in said, said)

        serve(manifest=newer(unsigned, size=os.path.getsize(unsigned) + 1), installer=unsigned)
        said = accept("size-mismatch")
        check("a wrong size is refused and the file deleted",
              "Downloaded size mismatch" in said and not os.path.exists(installer_path), said)

        serve(manifest=newer(unsigned, digest="0" * 64), installer=unsigned)
        said = accept("hash-mismatch")
        check("a wrong digest is refused and the file deleted",
              "Downloaded file is corrupt (hash mismatch)" in said and not os.path.exists(installer_path), said)

        serve(manifest=newer(unsigned, size=0), installer=unsigned)  # no size: the digest and signer decide
        said = accept("unsigned")
        check("an unsigned installer is refused, deleted and never started",
              "digital signature could not be verified" in said and not os.path.exists(installer_path)
              and not os.path.exists(installer_path + ".ran"), said)
        for name, installer, how in (("other-signer", by_other, "signed by another company"),
                                     ("untrusted-root", by_stranger, "signed in our name under an unknown root"),
                                     ("tampered", tampered, "changed after signing")):
            serve(manifest=newer(installer), installer=installer)
            said = accept(name)
            check("an installer %s is refused and deleted" % how,
                  "digital signature could not be verified" in said and not os.path.exists(installer_path)
                  and not os.path.exists(installer_path + ".ran"), said)
        # Genuinely signed, but not the version the manifest names: an older installer behind a tampered
        # manifest (a rollback), or a manifest naming a version the installer is not.
        older = sign(with_version(unsigned, (0, 1, 9, 0), os.path.join(work, "older-unsigned.exe")), chain, key,
                     os.path.join(work, "older.exe"))
        for name, installer, version, how in (("older-installer", older, "0.3.0", "older than the manifest says"),
                                              ("other-version", signed, "0.4.0", "of another version")):
            serve(manifest=newer(installer, version=version), installer=installer)
            said = accept(name)
            path = os.path.join(working, "Spadrim-Setup-%s.exe" % version)
            check("a signed installer %s is refused, deleted and never started" % how,
                  "versiondoesnotmatchtheupdate" in said.replace(" ", "") and not os.path.exists(path)
                  and not os.path.exists(path + ".ran"), said)
        # Verified but refused by the system when started (as an antivirus does): the user is told, with the
        # system's reason, and the window stays.
        blocked = sign(unstartable(unsigned, os.path.join(work, "blocked-unsigned.exe")), chain, key,
                       os.path.join(work, "blocked.exe"))
        serve(manifest=newer(blocked), installer=blocked)
        said = accept("installer-not-started")
        reason = said.replace(" ", "").partition("Couldnotstarttheinstaller")[2].strip(":")
        check("an installer that cannot be started is said so, with the system's reason",
              reason != "" and not os.path.exists(installer_path + ".ran"), said)
        check("the window stays after a refused download", window_name(window) == "Spadrim", window_name(window))

        # An address holding a glob range is one address: curl is told not to expand it.
        glob_url = "https://downloads.brightfen.example/Spadrim-Setup-[1-4294967295].exe"
        serve(manifest=newer_url(unsigned, glob_url), installer=unsigned,
              installer_url="https://downloads.brightfen.example/Spadrim-Setup-")
        count = len(curl_calls())
        said = accept("globbing-address")
        fetched = curl_calls()[count:]
        check("an address with a glob range is fetched once, as it is, with globbing off",
              len(fetched) == 2 and fetched[1][URL] == glob_url and fetched[1][:2] == ["-q", "--globoff"], fetched)

        # No size in the manifest: the download may be 512 MiB at most, and a bigger file is refused by
        # its size without being read (the stand-in writes it whatever curl was told, as curl does when a
        # server gives no length).
        serve(manifest=newer(unsigned, size=0), installer_action="big:%d" % (600 << 20))
        said = accept("oversized")
        check("without a size the installer download is capped at 512 MiB",
              curl_calls()[-1][8] == str(512 << 20), curl_calls()[-1])
        check("a download over its ceiling is refused and deleted",
              "Downloaded size mismatch" in said and not os.path.exists(installer_path), said)

        # All checks pass: the installer starts with the silent arguments, and Spadrim closes for it.
        serve(manifest=newer(signed), installer=signed)
        check_manually()
        answer("y", wait=False)
        ran = wait_for(lambda: os.path.exists(installer_path + ".ran"), 20)
        with open(installer_path + ".ran") if ran else open(os.devnull) as f:
            arguments = f.read().strip()
        check("a verified installer is started with the silent arguments",
              arguments == "/SILENT /SUPPRESSMSGBOXES /NORESTART /UPDATE=1", arguments)
        check("the window closes once the installer has started", wait_for(lambda: find_window() is None, 20))
        check("the installer stays in the working folder", os.path.exists(installer_path))

        # The automatic check ran less than a day ago: the next start does not check again. An automatic
        # check stores its time as it starts, before the window's first frame; a manual check made at once
        # must then be the only fetch.
        count = len(curl_calls())
        stamp = reg_query(SETTINGS, "LastUpdateCheck").stdout.split()
        stop(process)
        serve(manifest={"version": "0.2.0", "url": INSTALLER_URL, "sha256": "00"})
        process, window = start()
        x, y, w, h = client(window)
        again = reg_query(SETTINGS, "LastUpdateCheck").stdout.split()
        check_manually()
        said = notice_after_check("no-second-automatic-check")
        check("a start within a day of the last automatic check neither checks nor fetches",
              stamp and again == stamp and "You're up to date" in said and len(curl_calls()) == count + 1,
              (stamp[-1:], again[-1:], said, curl_calls()[count:]))

        # A transfer that never ends. With the limit shortened to 20 s, the worker gives up at 20 s and
        # a margin, ends curl and says so; a check asked for meanwhile says an update is under way.
        stop(process)
        desktop.ENV["SPADRIM_TRANSFER_SECONDS"] = "20"
        serve(manifest=newer(unsigned), installer_action="hang")
        process, window = start()
        x, y, w, h = client(window)
        check_manually()
        answer("y", wait=False)
        hung = wait_for(lambda: curl_log()[-1:] == ["HANGING"], 20) and curl_running()
        began = time.time()
        check_manually()
        said = notice_after_check("already-in-progress")
        check("a check asked for during a download says an update is already in progress",
              hung and "Anupdateisalreadyinprogress" in said.replace(" ", ""), said)
        ended_with = lambda: (lambda t: t if t and "Download failed" in t else None)(
            notice_text(shot("stuck-transfer"), x, y, w, h, 0))
        said = wait_for(ended_with, 60, 0.5) or ""
        check("a transfer that never ends is given up after its limit: Download failed",
              "Download failed" in said and time.time() - began < 60, said)
        check("the stuck curl is ended", wait_for(lambda: not curl_running(), 15) is not None)

        # curl never outlives Spadrim: a fetch still running when Spadrim ends goes with it.
        serve(manifest_action="hang")
        count = len(curl_log())
        check_manually()
        hung = wait_for(lambda: curl_log()[-1:] == ["HANGING"] and len(curl_log()) > count, 20) and curl_running()
        os.kill(process.pid, signal.SIGKILL)
        process.wait(timeout=30)
        check("a curl still running when Spadrim ends is ended with it",
              hung and wait_for(lambda: not curl_running(), 15) is not None)
        check("no curl ever read the user's configuration, every one was told -q first",
              "CONFIG READ" not in curl_log() and all(call[0] == "-q" for call in curl_calls()))
    finally:
        if process:
            stop(process)
        run("wine", "reg", "delete", trusted_root, "/f")
        desktop.ENV.pop("SPADRIM_TRANSFER_SECONDS", None)
        for leftover in (curl, plan_file, log_file, curlrc):
            if os.path.exists(leftover):
                os.remove(leftover)
        shutil.rmtree(work, ignore_errors=True)

tally.finish("updater")
