#!/usr/bin/env python3
"""spadrim-cli end to end: scans a generated folder and checks what it prints against an independent
recount of the disk. Runs the native binary, or spadrim-cli.exe under Wine with --wine.

Prints one line per check and ends with "cli: N passed, N failed"; exits non-zero on any failure."""
import argparse
import json
import os
import random
import resource
import shutil
import signal
import subprocess
import tempfile
import threading
import time
import unicodedata
import xml.etree.ElementTree as ElementTree

from tally import check, finish

parser = argparse.ArgumentParser()
parser.add_argument("--cli", required=True, help="path of spadrim-cli or spadrim-cli.exe")
parser.add_argument("--wine", action="store_true", help="run it under Wine")
args = parser.parse_args()



def host_path(path):
    """The path as the program under test spells it."""
    return "Z:" + path.replace("/", "\\") if args.wine else path


def run(*cli_args, env_lang="C.UTF-8"):  # Wine decodes Unix file names by the locale
    command = (["wine"] if args.wine else []) + [args.cli, *cli_args]
    env = dict(os.environ, LANG=env_lang, LC_ALL="", LC_MESSAGES="", WINEDEBUG="-all")
    result = subprocess.run(command, capture_output=True, env=env, timeout=300)
    return result.returncode, result.stdout.decode("utf-8", "replace"), result.stderr.decode("utf-8", "replace")


def write(path, size):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as out:
        out.write(b"\x5a" * size)


def on_terminal(columns, *cli_args, timeout=60, limit=1_000_000):
    """Runs the program with its standard error on a pseudo-terminal `columns` wide, the way a user's
    terminal would take it. Returns the exit code (None when it had to be killed: too slow, or more than
    `limit` bytes written to the terminal), the bytes written there (the first `limit` of them) and their
    total count."""
    import fcntl
    import pty
    import struct
    import termios
    master, slave = pty.openpty()
    fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 24, columns, 0, 0))
    env = dict(os.environ, LANG="C.UTF-8", LC_ALL="", LC_MESSAGES="")
    child = subprocess.Popen([args.cli, *cli_args], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                             stderr=slave, env=env)
    os.close(slave)
    received = bytearray()
    total = [0]

    def drain():  # so that the child never blocks on a full terminal
        while True:
            try:
                chunk = os.read(master, 65536)
            except OSError:  # EIO once the child has closed the terminal
                break
            if not chunk:
                break
            total[0] += len(chunk)
            if len(received) < limit:
                received.extend(chunk[:limit - len(received)])

    reader = threading.Thread(target=drain, daemon=True)
    reader.start()
    deadline = time.monotonic() + timeout
    while child.poll() is None and time.monotonic() < deadline and total[0] <= limit:
        time.sleep(0.05)
    code = child.poll()
    if code is None:
        child.kill()
        child.wait()
    reader.join(10)
    os.close(master)
    return code, bytes(received), total[0]


def columns_of(text):
    """Columns a terminal gives the text: two for wide and fullwidth characters."""
    return sum(2 if unicodedata.east_asian_width(c) in "WF" else 1 for c in text)


def iso_utc(seconds):
    return time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(int(seconds)))


def newest_below(folder):
    """The newest modified time of a folder and everything below it, links not followed: what a folder
    shows as its modified time."""
    newest = os.stat(folder, follow_symlinks=False).st_mtime
    for top, dirs, files in os.walk(folder):
        for name in dirs + files:
            newest = max(newest, os.stat(os.path.join(top, name), follow_symlinks=False).st_mtime)
    return newest


def recount(root):
    """Size, files and listed folders the way the walker counts them: links are never followed, a link
    to a folder is a folder that is not listed, any other link a file of size 0."""
    size = files = folders = 0
    per_child = {}
    stack = [root]
    while stack:
        folder = stack.pop()
        folders += 1
        for entry in os.scandir(folder):
            top = os.path.relpath(entry.path, root).split(os.sep)[0]
            if entry.is_symlink():
                if not entry.is_dir(follow_symlinks=True):
                    files += 1
                    per_child.setdefault(top, [0, 0])[1] += 1
                per_child.setdefault(top, [0, 0])
            elif entry.is_dir(follow_symlinks=False):
                per_child.setdefault(top, [0, 0])
                stack.append(entry.path)
            else:
                n = entry.stat(follow_symlinks=False).st_size
                size += n
                files += 1
                child = per_child.setdefault(top, [0, 0])
                child[0] += n
                child[1] += 1
    return size, files, folders, per_child


work = tempfile.mkdtemp(prefix="spadrim-cli-test-")
try:
    root = os.path.join(work, "scan me")
    rng = random.Random(5)
    names = ["사진", "Документы", "data", "😀 fun", "a b"]
    folders = [root]
    for i in range(60):
        folders.append(os.path.join(rng.choice(folders), f"{rng.choice(names)} {i}"))
        os.makedirs(folders[-1], exist_ok=True)
    for i in range(400):
        write(os.path.join(rng.choice(folders), f"file {i}.{rng.choice(['jpg', 'txt', 'zip', 'bin'])}"),
              rng.randrange(0, 5000))
    write(os.path.join(root, "known.bin"), 3_000_000)
    # Two copies of 1.1 MB (plus, natively, a hard link to one of them), and a pair under 1 MiB.
    for name in ["copy one.dat", os.path.join("data 0", "copy two.dat")]:
        write(os.path.join(root, name), 1_100_000)
    write(os.path.join(root, "small a.dat"), 1_048_575)
    write(os.path.join(root, "small b.dat"), 1_048_575)
    if not args.wine:
        os.link(os.path.join(root, "copy one.dat"), os.path.join(root, "copy hard link.dat"))
    os.makedirs(os.path.join(root, "empty folder"))
    if not args.wine:  # Wine shows symbolic links as the things they point to
        os.symlink(os.path.join(root, "known.bin"), os.path.join(root, "known link.bin"))
        os.symlink(folders[1], os.path.join(root, "folder link"))

    # A way back up: natively a link like any other; under Wine a plain folder, whose id tells it apart.
    os.symlink("..", os.path.join(folders[3], "way back"))

    # Times of their own, one per entry, so that a file or folder that took another's would show.
    for top, dirs, names in os.walk(root, topdown=False):
        for name in dirs + names:
            path = os.path.join(top, name)
            stamp = rng.randrange(1_000_000_000, 1_700_000_000)
            os.utime(path, (stamp, stamp), follow_symlinks=False)
    os.utime(root, (900_000_000, 900_000_000))

    size, files, listed, per_child = recount(root)

    code, out, err = run("--json", "--top", "0", host_path(root))
    check("json scan exits 0", code == 0, err)
    try:
        doc = json.loads(out)
    except ValueError as error:
        doc = {}
        check("json parses", False, str(error))
    for key in ["version", "root", "size", "files", "folders", "unreadable_folders", "elapsed_s", "children"]:
        check(f"json has {key}", key in doc)
    if doc:
        check("root is the folder given", doc["root"] == host_path(root), doc["root"])
        check("size equals the recount", doc["size"] == size, f"{doc['size']} != {size}")
        check("files equal the recount", doc["files"] == files, f"{doc['files']} != {files}")
        check("folders equal the recount", doc["folders"] == listed, f"{doc['folders']} != {listed}")
        check("no unreadable folders", doc["unreadable_folders"] == 0)
        got = {c["name"]: c for c in doc["children"]}
        check("every child listed once", sorted(got) == sorted(per_child) and len(got) == len(doc["children"]),
              f"{sorted(got)} != {sorted(per_child)}")
        check("children sizes and counts", all(got[n]["size"] == s and got[n]["files"] == f
                                               for n, (s, f) in per_child.items() if n in got))
        sizes = [c["size"] for c in doc["children"]]
        check("children sorted largest first", sizes == sorted(sizes, reverse=True))
        check("known file is first", doc["children"][0]["name"] == "known.bin" and
              doc["children"][0]["size"] == 3_000_000)
        file_times = {n: c["modified"] for n, c in got.items() if not c["dir"] or c["link"]}
        check("files' and links' modified times are what stat says",
              file_times == {n: iso_utc(os.stat(os.path.join(root, n), follow_symlinks=False).st_mtime)
                             for n in file_times}, str(file_times))
        if not args.wine:  # Wine shows a link as the folder it leads to, with that folder's time
            folder_times = {n: c["modified"] for n, c in got.items() if c["dir"] and not c["link"]}
            check("folders' modified times are the newest below them",
                  folder_times == {n: iso_utc(newest_below(os.path.join(root, n))) for n in folder_times},
                  str(folder_times))
            check("folder link flagged, not entered", got["folder link"]["dir"] and got["folder link"]["link"]
                  and got["folder link"]["size"] == 0)
            check("file link counts nothing", got["known link.bin"]["link"] and got["known link.bin"]["size"] == 0)

    svg = os.path.join(work, "map.svg")
    code, out, err = run("--json", "--duplicates", "--largest", "5", "--by-type", "--svg", host_path(svg),
                         host_path(root))
    check("report exits 0", code == 0, err)
    report = json.loads(out) if code == 0 else {}
    if report:
        sets = report["duplicates"]["sets"]
        check("one duplicate set", len(sets) == 1, str(sets))
        if sets:
            names = sorted(os.path.basename(p.replace("\\", "/")) for p in sets[0]["paths"])
            check("the set holds the two copies, one name per file",
                  len(names) == 2 and "copy two.dat" in names and sets[0]["size"] == 1_100_000, str(names))
            check("wasted is one copy", sets[0]["wasted"] == 1_100_000)
            check("digest is SHA-256 hex", len(sets[0]["digest"]) == 64)
        check("nothing failed to open", report["duplicates"]["could_not_open"] == 0)
        check("largest first is known.bin", report["largest"][0]["path"].endswith("known.bin") and
              report["largest"][0]["size"] == 3_000_000, str(report["largest"][:2]))
        check("largest files' modified times are what stat says",
              all(e["modified"] == iso_utc(os.stat(e["path"] if not args.wine else
                                                   e["path"][2:].replace("\\", "/")).st_mtime)
                  for e in report["largest"]), str(report["largest"]))
        check("largest sorted", [e["size"] for e in report["largest"]] ==
              sorted((e["size"] for e in report["largest"]), reverse=True))
        by_type_files = sum(row["count"] for row in report["by_type"])
        check("by type counts every file", by_type_files == report["files"], f"{by_type_files} != {report['files']}")
        check("kinds add up to the size", sum(k["size"] for k in report["kinds"]) == report["size"])
        check("no status line for a plain folder", report["status"] is None, str(report["status"]))
    try:
        tiles = ElementTree.parse(svg).getroot().findall("{http://www.w3.org/2000/svg}rect")
        check("svg treemap has tiles", len(tiles) > 20, str(len(tiles)))
    except (OSError, ElementTree.ParseError) as error:
        check("svg treemap written", False, str(error))

    # Output that cannot be written whole fails the run: standard output on a full device, and (natively)
    # a picture or an export over the file size limit, as on a full disk, where the file there before
    # stays intact and nothing is left beside it.
    with open("/dev/full", "wb") as full:
        for form in (["--json"], []):
            done = subprocess.run((["wine"] if args.wine else []) + [args.cli, *form, host_path(root)], stdout=full,
                                  stderr=subprocess.PIPE, env=dict(os.environ, WINEDEBUG="-all"), timeout=300)
            check(f"standard output on a full device {form}: exit 1 and a message",
                  done.returncode == 1 and b"could not write the standard output" in done.stderr,
                  (done.returncode, done.stderr))
    if not args.wine:
        def file_size_limit():
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)  # a write over the limit then fails with EFBIG
            resource.setrlimit(resource.RLIMIT_FSIZE, (1000, 1000))

        for option, name in (("--svg", "kept.svg"), ("--export", "kept.json")):
            kept = os.path.join(work, name)
            with open(kept, "w") as f:
                f.write("there before\n")
            done = subprocess.run([args.cli, option, kept, root], capture_output=True, preexec_fn=file_size_limit,
                                  timeout=300)
            with open(kept) as f:
                after = f.read()
            beside = [n for n in os.listdir(work) if n.startswith(name) and n != name]
            check(f"{option} not written whole: exit 1, the file there before intact, nothing beside it",
                  done.returncode == 1 and b"could not write" in done.stderr and after == "there before\n"
                  and not beside, (done.returncode, done.stderr[-200:], after[:100], beside))

    code, out, _ = run("--top", "2", host_path(root))
    lines = out.splitlines()
    check("text lists the root then two rows", code == 0 and len(lines) >= 4 and "known.bin" in lines[1], out)
    check("text ends with the finish notice", " files · took " in out, out)

    code, out, _ = run("--lang", "ko", "--top", "1", host_path(root))
    check("--lang ko speaks Korean", code == 0 and "파일" in out and "초 걸림" in out, out)
    if not args.wine:
        code, out, _ = run("--top", "1", root, env_lang="de_DE.UTF-8")
        check("LANG=de_DE speaks German", code == 0 and "Dateien" in out, out)

    if not args.wine:
        # Names that would drive a terminal if printed raw: a title change and a screen clear, a line
        # break, a C0 control; a duplicate pair among them, so that every text report lists one.
        hostile = os.path.join(work, "hostile")
        title = "title \x1b]0;pwned\x07\x1b[2J.txt"
        names = {title: 3_000_000, "two\nlines.txt": 2_000_000, "ctrl\x01a.txt": 1_500_000,
                 "copy \x1b[31m.x\x1bz": 1_100_000, os.path.join("dir\x1b[31m", "copy two"): 1_100_000}
        for name, size in names.items():
            write(os.path.join(hostile, name), size)
        code, out, err = run("--top", "0", "--largest", "10", "--by-type", "--duplicates", hostile)
        check("hostile names: text report exits 0", code == 0, err)
        # C0 controls but the line ends, DEL, C1 controls; U+FFFD for bytes that were not UTF-8.
        raw = [c for c in out if (c < " " and c != "\n") or "\x7f" <= c <= "\x9f" or c == "\ufffd"]
        check("hostile names: no control character reaches the output", not raw, repr(raw))
        shown_title = "title \\x1b]0;pwned\\x07\\x1b[2J.txt"
        check("hostile names: escapes shown in the list, largest files and duplicates",
              out.count(shown_title) == 2 and out.count("two\\x0alines.txt") == 2 and
              out.count("ctrl\\x01a.txt") == 2 and out.count("copy \\x1b[31m.x\\x1bz") == 3 and
              "dir\\x1b[31m/" in out, out)
        check("hostile names: an escaped extension in the by-type report", ".x\\x1bz" in out.replace(
            "copy \\x1b[31m.x\\x1bz", ""), out)
        check("hostile names: one line per row",
              not any(line.startswith("lines.txt") for line in out.split("\n")) and
              sum(1 for line in out.split("\n") if line.endswith(shown_title)) == 2, out)
        code, _, err = run(os.path.join(work, "missing \x1b[2J\x1b]0;pwned\x07"))
        check("hostile names: missing folder named without its controls",
              code == 1 and "Folder not found: " in err and "\x1b" not in err and "\x07" not in err and
              "missing \\x1b[2J\\x1b]0;pwned\\x07" in err, repr(err))

        picture = os.path.join(work, "hostile.svg")
        code, _, err = run("--svg", picture, hostile)
        check("hostile names: svg written", code == 0, err)
        try:
            labels = ["".join(text.itertext()) for text in
                      ElementTree.parse(picture).getroot().iter("{http://www.w3.org/2000/svg}text")]
            check("hostile names: svg labels with what XML forbids replaced",
                  "title \ufffd]0;pwned\ufffd\ufffd[2J.txt" in labels and "ctrl\ufffda.txt" in labels and
                  "two\nlines.txt" in labels and any(label.startswith("dir\ufffd[31m") for label in labels),
                  repr(labels))
        except (OSError, ElementTree.ParseError) as error:
            check("hostile names: svg parses as XML", False, str(error))

        # The progress line on terminals of every width. The folder grows until a wide terminal shows
        # redraws (120 ms apart), so that a narrow one would have drawn too; wide names, so that the line
        # must be cut by columns rather than characters.
        slow = os.path.join(work, "slow")
        made = 0
        redraws = []
        for _ in range(6):
            for i in range(made, made + 25_000):
                os.makedirs(os.path.join(slow, f"사진과 문서 {i % 97}", f"사진과 문서 {i}"))
            made += 25_000
            code, screen, total = on_terminal(100, "--threads", "1", slow)
            redraws = [line for line in screen.decode("utf-8", "replace").split("\r") if "folders" in line]
            if code != 0 or len(redraws) >= 2:
                break
        check("progress: a 100-column terminal shows the progress line", code == 0 and len(redraws) >= 2,
              f"exit {code}, {len(redraws)} redraws of {made} folders")
        check("progress: each line fits 97 columns", all(columns_of(line) <= 97 for line in redraws),
              repr([line for line in redraws if columns_of(line) > 97][:2]))
        check("progress: lines cut by columns use the room",
              any(columns_of(line) >= 96 for line in redraws), repr(redraws[:2]))
        for columns in [1, 2, 3]:
            started = time.monotonic()
            code, screen, total = on_terminal(columns, "--threads", "1", slow)
            check(f"progress: a {columns}-column terminal: exits 0 within 60 s, writing little and no line",
                  code == 0 and total < 1_000_000 and b"folders" not in screen,
                  f"exit {code} after {time.monotonic() - started:.1f} s, {total} bytes: {screen[:200]!r}")

    code, _, err = run(host_path(os.path.join(work, "missing")))
    check("missing folder exits 1", code == 1, str(code))
    check("missing folder says so", "Folder not found: " in err, err)
    # A whole NTFS volume from an image file: the small hand-made volume the fuzzer starts from. Under
    # Wine this is the Windows build's own file source and parser.
    seed = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "fuzz", "corpus", "ntfs",
                        "small-volume")
    code, out, err = run("--json", "--top", "0", "--depth", "3", "--volume", host_path(seed))
    try:
        volume = json.loads(out) if code == 0 else None
    except ValueError:
        volume = None
    rows = {row["name"]: row for row in (volume or {}).get("children", [])}
    check("--volume reads an NTFS image: its files, folders and the hard link's second name",
          volume is not None and volume["size"] == 2010 and volume["files"] == 3 and volume["folders"] == 2 and
          sorted(rows) == ["a.txt", "folder", "second name"] and rows["a.txt"]["size"] == 10 and
          [child["name"] for child in rows["folder"].get("children", [])] == ["Long name.bin"], out + err)
    with open(os.path.join(work, "README"), "w") as f:
        f.write("not a volume\n" * 400)
    code, _, err = run("--volume", host_path(os.path.join(work, "README")))
    check("--volume on a file that is not NTFS exits 1 and says why", code == 1 and "not an NTFS volume" in err,
          f"exit {code}: {err}")
    code, _, err = run("--top")
    check("bad usage exits 2 with usage", code == 2 and "usage:" in err, err)
    code, out, _ = run("--drives", "--json")
    check("drives listed", code == 0 and len(json.loads(out)["drives"]) > 0, out)
finally:
    shutil.rmtree(work, ignore_errors=True)

finish("cli")
