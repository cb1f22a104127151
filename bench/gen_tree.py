#!/usr/bin/python3
"""Writes the scan benchmark's folder tree: the same tree byte for byte on every run (fixed seed).

    bench/gen_tree.py OUT [--scale X]

OUT/tree gets 400,000 regular files (0 to a few KB each, real bytes, not sparse) in 30,000 folders, with
names like the ones on a real disk (about 19 bytes on average; camera names, dated logs, libraries,
names with spaces and a share of non-ASCII names), hard links, symbolic links to files and to folders
(a few of them dangling) and one flat folder of 20,000 files. OUT/manifest.json is written last, so its
presence means the tree is complete. --scale shrinks or grows every count, for a quick try of the scripts.
"""
import os
import random
import shutil
from bisect import bisect
from itertools import accumulate

import corpus

SEED = 20240611

WORDS = ("report budget invoice photo holiday summer winter backup project draft final notes meeting "
         "scan letter contract resume music video clip track album cover render export build cache "
         "data config setup update patch driver system user profile session archive sample test "
         "design logo banner screen capture recording podcast episode lecture slides chapter thesis "
         "paper review family wedding birthday trip beach mountain city garden kitchen office").split()
NON_ASCII = ("résumé café Überblick Straße Ölpreis señal niño año Ärger naïve façade crème "
             "данные отчёт фото документ 照片 文档 报告 写真 資料 音楽 데이터 사진 문서 "
             "Αθήνα İstanbul Łódź Kraków São_Paulo Zürich Malmö").split()
FOLDER_WORDS = ("Documents Pictures Music Videos Downloads Projects src lib bin include assets "
                "images icons fonts backup old new archive 2017 2018 2019 2020 2021 2022 2023 2024 "
                "Camera Screenshots Work Personal Shared Games saves logs temp build dist vendor "
                "modules packages docs tests fixtures data raw processed export").split()
EXTS = (".jpg", ".jpg", ".jpg", ".png", ".txt", ".txt", ".log", ".log", ".dll", ".dll", ".mp4", ".pdf",
        ".docx", ".xlsx", ".mp3", ".json", ".xml", ".html", ".js", ".cpp", ".h", ".py", ".zip", ".tmp",
        ".ini", ".dat", ".exe", ".so", ".md", ".csv")


def file_name(rng):
    """One file name; the mix of shapes sets the average length near 19 bytes."""
    r = rng.random()
    ext = EXTS[int(rng.random() * len(EXTS))]
    if r < 0.22:
        if rng.random() < 0.4:
            return "IMG_%04d%s" % (rng.randrange(10000), ".jpg" if rng.random() < 0.8 else ".JPG")
        return "IMG_20%02d%02d%02d_%06d.jpg" % (rng.randrange(10, 25), rng.randrange(1, 13),
                                                rng.randrange(1, 29), rng.randrange(1000000))
    if r < 0.34:
        return "%s-20%02d-%02d-%02d.log" % (rng.choice(("app", "server", "error", "access", "sync")),
                                            rng.randrange(15, 25), rng.randrange(1, 13), rng.randrange(1, 29))
    if r < 0.42:
        return "%s%s.%s%s" % (rng.choice(("Microsoft", "System", "Qt5", "lib", "Windows")),
                              rng.choice(("Core", "Net", "Gui", "Xml", "Data", "Win32")),
                              rng.choice(("Runtime", "Http", "Widgets", "Linq", "IO")),
                              rng.choice((".dll", ".dll", ".so")))
    if r < 0.48:
        return "%012x%s" % (rng.getrandbits(48), rng.choice((".tmp", ".dat", ".bin")))
    if r < 0.56:
        return "%s %s %d%s" % (rng.choice(WORDS).capitalize(), rng.choice(WORDS), rng.randrange(1, 100), ext)
    if r < 0.62:
        return "%s_%s%s" % (rng.choice(NON_ASCII), rng.choice(WORDS), ext)
    if r < 0.66:
        return "%s-%d%s" % (rng.choice(NON_ASCII), rng.randrange(1, 1000), ext)
    if r < 0.84:
        return "%s_%s_%d%s" % (rng.choice(WORDS), rng.choice(WORDS), rng.randrange(1, 1000), ext)
    return "%s-%s%02d%s" % (rng.choice(WORDS), rng.choice(WORDS), rng.randrange(100), ext)


def folder_name(rng):
    r = rng.random()
    if r < 0.5:
        return rng.choice(FOLDER_WORDS)
    if r < 0.75:
        return "%s_%s" % (rng.choice(WORDS), rng.choice(WORDS))
    if r < 0.85:
        return "%s %d" % (rng.choice(WORDS).capitalize(), rng.randrange(1, 50))
    if r < 0.92:
        return rng.choice(NON_ASCII)
    return "%s-%d" % (rng.choice(WORDS), rng.randrange(2000, 2025))


def unique(rng, make, taken):
    """A name from make() not yet in `taken` (a folder's names); a counter settles rare clashes."""
    for _ in range(4):
        name = make(rng)
        if name not in taken:
            taken.add(name)
            return name
    stem, dot, ext = name.rpartition(".")
    n = 2
    while True:
        candidate = "%s (%d).%s" % (stem, n, ext) if dot else "%s (%d)" % (name, n)
        if candidate not in taken:
            taken.add(candidate)
            return candidate
        n += 1


def file_size(rng):
    if rng.random() < 0.06:
        return 0
    return min(6000, int(rng.lognormvariate(6.5, 1.1)))


def generate(out, scale):
    rng = random.Random(SEED)
    n_folders = int(30000 * scale)
    n_files = int(400000 * scale)
    n_flat = int(20000 * scale)
    n_hard = int(3000 * scale)
    n_file_links = int(1500 * scale)
    n_dir_links = int(300 * scale)
    n_dangling = max(1, int(20 * scale))

    final = os.path.join(out, "tree")
    work = os.path.join(out, "tree.partial")
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)

    # Folders: each new one hangs under an earlier one, which gives the bushy, deepening shape of a
    # real disk; depth is capped so that paths stay well inside PATH_MAX.
    paths = [""]
    depth = [0]
    names = [set()]  # names taken in each folder
    for top in ("Documents", "Pictures", "Music", "Videos", "Downloads", "Projects", "AppData", "Games"):
        names[0].add(top)
        os.mkdir(os.path.join(work, top))
        paths.append(top)
        depth.append(1)
        names.append(set())
    names[2].add("Camera Roll")  # Pictures: kept for the flat folder made below
    while len(paths) < n_folders:
        parent = int(rng.random() * len(paths))
        if depth[parent] >= 14:
            continue
        name = unique(rng, folder_name, names[parent])
        path = os.path.join(paths[parent], name) if paths[parent] else name
        os.mkdir(os.path.join(work, path))
        paths.append(path)
        depth.append(depth[parent] + 1)
        names.append(set())
    flat = len(paths)
    paths.append(os.path.join("Pictures", "Camera Roll"))
    os.mkdir(os.path.join(work, paths[flat]))
    depth.append(2)
    names.append(set())

    # Files: a heavy-tailed weight per folder, so that most folders hold a handful and a few hold
    # hundreds; the flat folder takes its own 20,000.
    weights = [rng.paretovariate(1.2) for _ in range(flat)]
    cumulative = list(accumulate(weights))
    total_weight = cumulative[-1]
    per_folder = [0] * len(paths)
    for _ in range(n_files - n_flat):
        per_folder[bisect(cumulative, rng.random() * total_weight)] += 1
    per_folder[flat] = n_flat

    noise = rng.randbytes(1 << 16)
    view = memoryview(noise)
    files = []  # relative paths of the regular files, for links
    total_bytes = 0
    name_bytes = 0
    non_ascii = 0
    flags = os.O_WRONLY | os.O_CREAT | os.O_EXCL
    for folder, count in enumerate(per_folder):
        base = os.path.join(work, paths[folder])
        taken = names[folder]
        for _ in range(count):
            name = unique(rng, file_name, taken)
            size = file_size(rng)
            offset = int(rng.random() * (len(noise) - size))
            fd = os.open(os.path.join(base, name), flags, 0o644)
            if size:
                os.write(fd, view[offset:offset + size])
            os.close(fd)
            files.append(os.path.join(paths[folder], name))
            total_bytes += size
            encoded = len(name.encode())
            name_bytes += encoded
            non_ascii += encoded != len(name)

    def new_name(folder, make):
        return os.path.join(paths[folder], unique(rng, make, names[folder]))

    def any_folder():
        return int(rng.random() * flat)

    for _ in range(n_hard):
        target = files[int(rng.random() * len(files))]
        os.link(os.path.join(work, target), os.path.join(work, new_name(any_folder(), file_name)))

    def symlink(target, link):
        os.symlink(os.path.relpath(target, os.path.dirname(link) or "."), os.path.join(work, link))
    for _ in range(n_file_links):
        symlink(files[int(rng.random() * len(files))],
                new_name(any_folder(), lambda r: "Shortcut to " + file_name(r)))
    for _ in range(n_dir_links):
        symlink(paths[1 + int(rng.random() * (flat - 1))],
                new_name(any_folder(), lambda r: folder_name(r) + " (link)"))
    for _ in range(n_dangling):
        os.symlink("gone/" + file_name(rng), os.path.join(work, new_name(any_folder(), lambda r: "broken " + file_name(r))))

    os.rename(work, final)
    links = n_file_links + n_dir_links + n_dangling
    manifest = {
        "seed": SEED,
        "scale": scale,
        "folders": len(paths) - 1,  # below the root
        "files": n_files + n_hard,  # regular-file names, hard links included
        "inodes": n_files,
        "hard_links": n_hard,
        "symlinks": links,
        "entries": len(paths) - 1 + n_files + n_hard + links,
        "flat_folder": paths[flat],
        "flat_files": n_flat,
        "bytes": total_bytes,
        "mean_name_bytes": round(name_bytes / n_files, 2),
        "non_ascii_names": non_ascii,
    }
    corpus.write_manifest(out, manifest)
    return manifest


if __name__ == "__main__":
    corpus.main("gen_tree.py", "tree", generate,
                lambda m: "gen_tree: %d files (%d hard links), %d folders, %d symlinks, %.1f MB, names %.1f "
                "bytes on average, %d non-ASCII" % (m["files"], m["hard_links"], m["folders"], m["symlinks"],
                                                   m["bytes"] / 1e6, m["mean_name_bytes"], m["non_ascii_names"]))
