#!/usr/bin/python3
"""The duplicate sets a folder should give, worked out independently, and a comparison with spadrim-cli's.

    bench/check_dupes.py FOLDER                 prints the expected sets
    bench/check_dupes.py FOLDER REPORT.json     compares `spadrim-cli --duplicates --json --top 0` output

Expected: every regular file (symbolic links not followed) of at least 1,048,576 bytes is hashed whole with
SHA-256; names of one inode (hard links) are one file; files of equal content form a set when there are at
least two distinct inodes. The report's sets must be exactly these: each listing one name per inode, with
the right size, lowercase hex digest and wasted = size x (files - 1). Prints MATCH, or each difference and
exits 1.
"""
import hashlib
import json
import os
import stat
import sys

FLOOR = 1 << 20


def sha256_of(path):
    digest = hashlib.sha256()
    with open(path, "rb", buffering=0) as f:
        while chunk := f.read(1 << 22):
            digest.update(chunk)
    return digest.hexdigest()


def expected_sets(folder):
    """{frozenset of (dev, ino)}: (size, digest), and {(dev, ino): [paths]} for every inode seen."""
    names = {}
    sizes = {}
    for parent, dirs, files in os.walk(folder):
        for name in files + dirs:
            path = os.path.join(parent, name)
            info = os.lstat(path)
            if stat.S_ISREG(info.st_mode) and info.st_size >= FLOOR:
                key = (info.st_dev, info.st_ino)
                names.setdefault(key, []).append(path)
                sizes[key] = info.st_size
    by_content = {}
    for key, paths in names.items():
        by_content.setdefault((sizes[key], sha256_of(paths[0])), []).append(key)
    sets = {frozenset(keys): content for content, keys in by_content.items() if len(keys) >= 2}
    return sets, names


def compare(folder, report_path, sets, names):
    with open(report_path, encoding="utf-8") as f:
        report = json.load(f)
    problems = []
    try:
        duplicates = report["duplicates"]
        got_sets = duplicates["sets"]
    except (KeyError, TypeError):
        return ['the report has no "duplicates": {"sets": [...]}']
    if duplicates.get("could_not_open"):
        problems.append("could_not_open is not empty: %r" % (duplicates["could_not_open"],))

    got = {}
    for n, entry in enumerate(got_sets):
        where = "reported set %d (%s bytes)" % (n, entry.get("size"))
        keys = []
        for path in entry.get("paths", []):
            try:
                info = os.lstat(path)
            except OSError as error:
                problems.append("%s: %s: %s" % (where, path, error.strerror))
                continue
            if not stat.S_ISREG(info.st_mode):
                problems.append("%s: %s is not a regular file" % (where, path))
            key = (info.st_dev, info.st_ino)
            if key in keys:
                problems.append("%s: %s is a second name (hard link) of a file already in the set" % (where, path))
            else:
                keys.append(key)
        key_set = frozenset(keys)
        if key_set in got:
            problems.append("%s: the same files are listed in two sets" % where)
        got[key_set] = entry

    def shown(keys):
        return sorted(os.path.relpath(names[k][0], folder) if k in names else "inode %d" % k[1] for k in keys)

    for keys, (size, digest) in sets.items():
        entry = got.get(keys)
        if entry is None:
            near = [g for g in got if g & keys]
            if near:
                for g in near:
                    problems.append("set of %d bytes differs: missing %s; extra %s"
                                    % (size, shown(keys - g), shown(g - keys)))
            else:
                problems.append("missing set of %d bytes: %s" % (size, shown(keys)))
            continue
        if entry.get("size") != size:
            problems.append("set %s: size %r, expected %d" % (shown(keys), entry.get("size"), size))
        if entry.get("digest") != digest:
            problems.append("set %s: digest %r, expected %s" % (shown(keys), entry.get("digest"), digest))
        if entry.get("wasted") != size * (len(keys) - 1):
            problems.append("set %s: wasted %r, expected %d" % (shown(keys), entry.get("wasted"),
                                                              size * (len(keys) - 1)))
    for keys, entry in got.items():
        if keys not in sets and not any(keys & s for s in sets):
            problems.append("extra set of %s bytes: %s" % (entry.get("size"), shown(keys)))
    return problems


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit("usage: check_dupes.py FOLDER [REPORT.json]")
    folder = os.path.abspath(sys.argv[1])
    sets, names = expected_sets(folder)
    files = sum(len(keys) for keys in sets)
    wasted = sum(size * (len(keys) - 1) for keys, (size, _) in sets.items())
    if len(sys.argv) == 2:
        for keys, (size, digest) in sorted(sets.items(), key=lambda item: -item[1][0] * (len(item[0]) - 1)):
            print("%11d  %s  %s" % (size, digest[:16], "  ".join(sorted(names[k][0] for k in keys))))
        print("expected: %d sets, %d files, %d bytes wasted" % (len(sets), files, wasted))
        return
    problems = compare(folder, sys.argv[2], sets, names)
    if problems:
        print("DIFFERENCES (%d) from the expected %d sets:" % (len(problems), len(sets)))
        for problem in problems:
            print("  " + problem)
        sys.exit(1)
    print("MATCH: %d sets, %d files, %d bytes wasted" % (len(sets), files, wasted))


if __name__ == "__main__":
    main()
