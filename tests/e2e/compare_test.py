#!/usr/bin/env python3
"""spadrim-cli --compare end to end: a generated tree is scanned to a scan file by spadrim-cli (gzip) and by
`ncdu -e -o`, then changed (files grown, shrunk, added and removed, a folder moved, a folder replaced by a
file of the same name), and `--compare OLD FOLDER --json` with either file (and `--compare OLD --import NEW`)
is checked against the differences recounted from the two states with os.walk and os.stat. A cut scan file
is refused with the reader's reason.

Prints one line per check and ends with "compare: N passed, N failed"; exits non-zero on any failure."""
import argparse
import datetime
import gzip
import json
import os
import random
import shutil
import subprocess
import tempfile

from tally import check, finish

parser = argparse.ArgumentParser()
parser.add_argument("--cli", required=True, help="path of spadrim-cli")
args = parser.parse_args()


def run(*cli_args):
    env = dict(os.environ, LANG="C.UTF-8", LC_ALL="", LC_MESSAGES="")
    result = subprocess.run([args.cli, *cli_args], capture_output=True, env=env, timeout=300)
    return result.returncode, result.stdout.decode("utf-8", "replace"), result.stderr.decode("utf-8", "replace")


def write(path, size):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as out:
        out.write(b"\x5a" * size)


def build(root, rng):
    folders = [root]
    for i in range(30):
        name = rng.choice(["Fotos", "data", "사진", "Ärger"]) + f" {i}"
        folders.append(os.path.join(rng.choice(folders), name))
        os.makedirs(folders[-1])
    for i in range(200):
        write(os.path.join(rng.choice(folders), f"file_{i}.bin"), rng.choice([0, 900, 7000, 60_000, 300_000]))
    return folders[1:]


def change(root, folders, rng):
    """Changes the tree as a week of use would; returns nothing: the recount sees what it did."""
    files = sorted(os.path.join(f, n) for f, _, names in os.walk(root) for n in names)
    for path in rng.sample(files, 30):
        with open(path, "ab") as out:  # grown
            out.write(b"\x33" * rng.choice([1, 5000, 250_000]))
    for path in rng.sample(files, 10):
        if os.path.exists(path) and os.path.getsize(path) > 1:
            os.truncate(path, os.path.getsize(path) // 2)  # shrunk
    for path in rng.sample(files, 15):
        if os.path.exists(path):
            os.remove(path)  # removed
    for i in range(20):
        write(os.path.join(rng.choice(folders), f"new_{i}.bin"), rng.choice([0, 1200, 80_000]))
    write(os.path.join(root, "brand new", "inside", "big.iso"), 2_000_000)
    deepest = max(folders, key=lambda f: f.count(os.sep))
    os.rename(deepest, os.path.join(root, "moved here"))  # a move: removed there, new here
    folders.remove(deepest)
    replaced = next(f for f in folders if not deepest.startswith(f + os.sep))
    shutil.rmtree(replaced)
    write(replaced, 4321)  # a file where a folder of the same name was


def recount(root):
    """{(relative path, is folder): size} of every entry below root, folders by the files below them, and
    the files' paths."""
    entries, files = {}, set()
    for folder, dirs, names in os.walk(root, topdown=False):
        rel = os.path.relpath(folder, root)
        total = 0
        for name in names:
            key = os.path.normpath(os.path.join(rel, name))
            entries[(key, False)] = os.stat(os.path.join(folder, name), follow_symlinks=False).st_size
            files.add(key)
            total += entries[(key, False)]
        for name in dirs:
            total += entries[(os.path.normpath(os.path.join(rel, name)), True)]
        if rel != ".":
            entries[(rel, True)] = total
    return entries, files


def expected_changes(before, after):
    """{(path, is folder): (before, after, status)} of what the comparison lists with every level opened:
    each entry whose size or presence changed, inside a folder that is listed itself (or the root)."""
    changes = {}
    for key in sorted(set(before) | set(after), key=lambda k: k[0].count(os.sep)):
        old, new = before.get(key), after.get(key)
        status = ("new" if old is None else "removed" if new is None else
                  "grown" if new > old else "shrunk" if new < old else None)
        parent = (os.path.dirname(key[0]), True)
        if status and (parent[0] == "" or parent in changes):
            changes[key] = (old or 0, new or 0, status)
    return changes


def listed(rows, root, level_check):
    """The nested rows of "changes" flattened to {(relative path, dir): (before, after, status)}; each
    level's rows are handed to level_check."""
    found = {}
    level_check(rows)
    for row in rows:
        found[(os.path.relpath(row["path"], root), row["dir"])] = (row["before"], row["after"], row["status"])
        if "children" in row:
            found.update(listed(row["children"], root, level_check))
    return found


work = tempfile.mkdtemp(prefix="spadrim-compare-test-")
try:
    rng = random.Random(25)
    root = os.path.join(work, "tree")
    folders = build(root, rng)
    before, before_files = recount(root)
    ours, theirs, later = (os.path.join(work, n) for n in ("ours.json.gz", "ncdu.json", "later.json"))
    code, _, err = run("--export", ours, root)
    check("spadrim-cli --export wrote the first state", code == 0 and os.path.exists(ours), err)
    ncdu = subprocess.run(["ncdu", "--ignore-config", "-e", "-o", theirs, root], capture_output=True) \
        if shutil.which("ncdu") else None
    check("ncdu -e -o wrote the first state", ncdu is not None and ncdu.returncode == 0, "(scripts/deps has ncdu)")
    change(root, folders, rng)
    after, after_files = recount(root)
    expected = expected_changes(before, after)
    statuses = {status for _, _, status in expected.values()}
    check("the change made every kind of difference", statuses == {"new", "removed", "grown", "shrunk"}, statuses)
    code, _, err = run("--export", later, root)

    for name, command in [("spadrim's scan file", ["--compare", ours, root]),
                          ("ncdu's scan file", ["--compare", theirs, root]),
                          ("ncdu's scan file, --import NEW", ["--compare", theirs, "--import", later])]:
        code, out, err = run("--json", "--top", "0", "--depth", "100", *command)
        if code != 0:
            check(f"{name}: --compare exits 0", False, f"exit {code}: {err}")
            continue
        report = json.loads(out)["compare"]
        unordered = []
        got = listed(report["changes"], root, lambda rows: unordered.extend(
            (a["path"], b["path"]) for a, b in zip(rows, rows[1:]) if a["delta"] < b["delta"]))
        differing = [(k, got[k], expected[k]) for k in set(got) & set(expected) if got[k] != expected[k]]
        check(f"{name}: the changes of the recount ({len(expected)})", got == expected,
              f"missing {sorted(set(expected) - set(got))[:4]}, extra {sorted(set(got) - set(expected))[:4]}, "
              f"differing {differing[:4]}")
        check(f"{name}: each level largest increase first", not unordered, str(unordered[:1]))
        totals = [(report[side]["size"], report[side]["files"], report[side]["folders"])
                  for side in ("before", "after")]
        recounted = [(sum(v for (_, d), v in state.items() if not d), len(files), sum(1 for _, d in state if d))
                     for state, files in ((before, before_files), (after, after_files))]
        check(f"{name}: the totals before and after", totals == recounted, f"{totals} != {recounted}")
        check(f"{name}: new and removed files",
              (report["new_files"], report["removed_files"])
              == (len(after_files - before_files), len(before_files - after_files)),
              f"{report['new_files']} {report['removed_files']}")
        whens = [report[side]["when"] for side in ("before", "after")]
        parsed = [datetime.datetime.fromisoformat(w.replace("Z", "+00:00")) if w else None for w in whens]
        check(f"{name}: when each scan was made, in ISO 8601 UTC, the earlier first",
              None not in parsed and parsed[0] <= parsed[1], str(whens))

    # --top limits each level; the text lists the same first level, signed.
    code, out, _ = run("--json", "--top", "3", "--depth", "1", "--compare", ours, root)
    rows = json.loads(out)["compare"]["changes"] if code == 0 else []
    first = sorted((a - b for (path, _), (b, a, _) in expected.items() if os.sep not in path), reverse=True)
    check("--top 3 --depth 1: three rows a level, the largest increases",
          [r["delta"] for r in rows] == first[:3] and all(len(r.get("children", [])) <= 3 for r in rows)
          and any(len(r.get("children", [])) == 3 for r in rows), str(rows)[:300])
    code, out, _ = run("--top", "3", "--compare", ours, root)
    text = [line.split() for line in out.splitlines()]
    signed = [words[0] for words in text if words and words[0][0] in "+-"]
    check("text: the totals of both scans, then the first level's changes signed",
          code == 0 and out.count(root) >= 2 and len(signed) == 3 and signed[0].startswith("+"), out[:400])

    # A scan file cut short is refused with the reader's reason, before anything is scanned.
    cut = os.path.join(work, "cut.json.gz")
    with gzip.open(ours) as whole, open(cut, "wb") as out:
        out.write(gzip.compress(whole.read()[:3000]))
    code, out, err = run("--json", "--compare", cut, root)
    check("a cut scan file: exit 1 with the reader's reason", code == 1 and not out and "cut.json.gz: " in err
          and "line" in err, f"exit {code}: {err}")
finally:
    shutil.rmtree(work, ignore_errors=True)
finish("compare")
