#!/usr/bin/env python3
"""spadrim-cli --find end to end: builds a tree on disk, then checks the matches of several queries in
--json and --csv against an independent recount (os.walk, fnmatch and os.stat), and that a query it
cannot read exits 2 with the reason.

Prints one line per check and ends with "find: N passed, N failed"; exits non-zero on any failure."""
import argparse
import csv
import fnmatch
import io
import json
import os
import random
import shutil
import subprocess
import tempfile
import time

from tally import check, finish

parser = argparse.ArgumentParser()
parser.add_argument("--cli", required=True, help="path of spadrim-cli")
args = parser.parse_args()

NOW = time.time()
DAY = 86400
VIDEOS = {"mp4", "mkv"}


def run(*cli_args):
    env = dict(os.environ, LANG="C.UTF-8", LC_ALL="", LC_MESSAGES="")
    result = subprocess.run([args.cli, *cli_args], capture_output=True, env=env, timeout=300)
    return result.returncode, result.stdout, result.stderr.decode("utf-8", "replace")


def extension(name):
    dot = name.rfind(".")
    return "" if dot <= 0 or dot == len(name) - 1 else name[dot + 1:].lower()


def build(root):
    rng = random.Random(24)
    words = ["Photos", "data", "Ärger", "사진", "backup", "node_modules", "Übung"]
    extensions = ["jpg", "JPG", "txt", "mp4", "MKV", "iso", "zip", "log"]
    sizes = [0, 700, 5000, 150_000, 600_000, 1_300_000]
    folders = [root]
    os.makedirs(root)
    for i in range(40):
        folders.append(os.path.join(rng.choice(folders), f"{rng.choice(words)} {i}"))
        os.makedirs(folders[-1])
    for i in range(300):
        name = f"{rng.choice(words)}_{i}.{rng.choice(extensions)}"
        path = os.path.join(rng.choice(folders), name)
        with open(path, "wb") as out:
            out.write(b"\x5a" * rng.choice(sizes))
        age = rng.choice([2, 20, 200, 500, 1000]) * DAY + rng.randrange(DAY)
        os.utime(path, (NOW - age, NOW - age))
    # Folders last, deepest first, each to an old time of its own: a folder carries the newest time below.
    for folder in sorted(folders[1:], key=len, reverse=True):
        os.utime(folder, (NOW - 3000 * DAY, NOW - 3000 * DAY))


def recount(root, matches):
    """The listed matches (a matched folder stands for everything in it) as {relative path: size}, and
    the files they hold. `matches(entry)` sees name, rel, dir, size, ext and mtime (a folder's: the
    newest below it or its own)."""
    sizes, times, files = {}, {}, {}
    for folder, dirs, names in os.walk(root, topdown=False):
        rel = os.path.relpath(folder, root)
        total, count, newest = 0, 0, os.stat(folder).st_mtime
        for name in names:
            st = os.stat(os.path.join(folder, name), follow_symlinks=False)
            key = os.path.normpath(os.path.join(rel, name))
            sizes[key], times[key], files[key] = st.st_size, st.st_mtime, 1
            total, count, newest = total + st.st_size, count + 1, max(newest, st.st_mtime)
        for name in dirs:
            key = os.path.normpath(os.path.join(rel, name))
            total, count, newest = total + sizes[key], count + files[key], max(newest, times[key])
        sizes[rel], times[rel], files[rel] = total, newest, count
    found = {}
    for folder, dirs, names in os.walk(root):
        rel = os.path.relpath(folder, root)
        for name in list(dirs) + names:
            key = os.path.normpath(os.path.join(rel, name))
            entry = dict(name=name.lower(), rel=key.lower(), dir=name in dirs, size=sizes[key],
                         ext=extension(name), mtime=times[key])
            if matches(entry):
                found[key] = sizes[key]
                if name in dirs:
                    dirs.remove(name)  # counted whole: nothing inside it is listed again
    return found, sum(files[key] for key in found)


QUERIES = {
    "*.iso": lambda e: fnmatch.fnmatchcase(e["name"], "*.iso"),
    "ärger": lambda e: "ärger" in e["name"],
    "ÜBUNG_1?.*": lambda e: fnmatch.fnmatchcase(e["name"], "übung_1?.*"),
    "사진 ext:jpg": lambda e: "사진" in e["name"] and not e["dir"] and e["ext"] == "jpg",
    "ext:mp4,.mkv": lambda e: not e["dir"] and e["ext"] in VIDEOS,
    "kind:videos size:>100KB": lambda e: not e["dir"] and e["ext"] in VIDEOS and e["size"] > 100 * 1024,
    "size:100KB..1MB file:": lambda e: not e["dir"] and 100 * 1024 <= e["size"] <= 1024 * 1024,
    "folder: photos": lambda e: e["dir"] and "photos" in e["name"],
    "node_modules": lambda e: "node_modules" in e["name"],
    "data*/*.JPG": lambda e: fnmatch.fnmatchcase(e["rel"], "data*/*.jpg"),
    "\"backup_\" file:": lambda e: not e["dir"] and "backup_" in e["name"],
}
# Times come from the scan only where its sources give them: asked for once they are there.
TIMED = {
    "older:1y file:": lambda e: not e["dir"] and e["mtime"] < NOW - 365 * DAY - 2 * DAY,
    "newer:30d": lambda e: e["mtime"] >= NOW - 30 * DAY,
}

work = tempfile.mkdtemp(prefix="spadrim-find-test-")
try:
    root = os.path.join(work, "tree")
    build(root)
    code, out, _ = run("--json", "--find", "file:", root)
    timed = code == 0 and any(item["modified"] for item in json.loads(out)["found"]["items"])
    queries = dict(QUERIES, **TIMED) if timed else QUERIES
    if not timed:
        print("(the scan gives no modified times yet: the age queries are left out)")
    for query, matches in queries.items():
        expected, expected_files = recount(root, matches)
        code, out, err = run("--json", "--find", query, root)
        if code != 0:
            check(f"--find {query!r}", False, f"exit {code}: {err}")
            continue
        found = json.loads(out)["found"]
        got = {os.path.relpath(item["path"], root): item["size"] for item in found["items"]}
        sizes = [item["size"] for item in found["items"]]
        check(f"--find {query!r}: the matches of the recount ({len(expected)})",
              got == expected and len(expected) > 0,
              f"missing {sorted(set(expected) - set(got))[:5]}, extra {sorted(set(got) - set(expected))[:5]}")
        check(f"--find {query!r}: largest first, totals",
              sizes == sorted(sizes, reverse=True) and found["count"] == len(expected)
              and found["size"] == sum(expected.values()) and found["files"] == expected_files,
              f"{found['count']} {found['size']} {found['files']}")
        if query == "ärger":
            code, out, _ = run("--csv", "--find", query, root)
            text = out.decode("utf-8")
            rows = list(csv.reader(io.StringIO(text.removeprefix("\ufeff"), newline="")))
            check("--csv: a BOM, a header and the found rows", text.startswith("\ufeff") and code == 0
                  and rows[0][:3] == ["list", "path", "size"]
                  and {os.path.relpath(r[1], root): int(r[2]) for r in rows[1:]} == expected
                  and all(r[0] == "found" for r in rows[1:]), f"{rows[:3]}")
            code, out, _ = run("--find", query, root)
            lines = out.decode("utf-8").splitlines()
            listed = [line[line.index(root):] for line in lines if root + os.sep in line]
            # Each run walks anew, so matches of equal size may come in another order than in --json's.
            shown = [os.path.relpath(p.rstrip(os.sep), root) for p in listed]
            shown_sizes = [got.get(p, -1) for p in shown]
            check("text: the matches largest first, then their total",
                  code == 0 and sorted(shown) == sorted(got) and shown_sizes == sorted(shown_sizes, reverse=True)
                  and f"{expected_files} files" in lines[len(listed) + 1], f"{lines[:4]}")
    for query, part in [("size:>1XB", "size:>1XB"), ("colour:red", "colour:red"), ("\"open", "")]:
        code, out, err = run("--find", query, root)
        check(f"--find {query!r} cannot be read: exit 2 with why", code == 2 and part in err and err.strip()
              and not out, f"exit {code}: {err}")
finally:
    shutil.rmtree(work, ignore_errors=True)
finish("find")
