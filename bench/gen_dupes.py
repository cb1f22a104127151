#!/usr/bin/python3
"""Writes the duplicate-finding benchmark's corpus: the same files byte for byte on every run (fixed seed).

    bench/gen_dupes.py OUT [--scale X]

OUT/corpus gets about 1.7 GB: groups of identical files of 1 to 20 MiB (2 to 4 copies each, in different
folders, one group of exactly 1 MiB), files of equal size that differ only in the first, the middle or the
last byte, hard links to some copies and to some single files, identical files of 1,048,575 bytes (just
under the 1 MiB floor, so never a duplicate set), small identical files, empty files and unique files,
some of them of one shared size. OUT/manifest.json is written last: its presence means the corpus is
complete. The expected answer is not written here: dupes.sh works it out from the files themselves.
--scale shrinks the large sizes, for a quick try of the scripts.
"""
import os
import random
import shutil

import corpus

SEED = 7041
MIB = 1 << 20

FOLDERS = ("Photos/2019", "Photos/2020/Summer", "Photos/Unsorted", "Backup/Photos", "Backup/old/Documents",
           "Downloads", "Downloads/Telegram Desktop", "Videos/Holiday", "Videos/raw", "Music/Albums",
           "Desktop/copy of stuff", "Projects/assets", "Projects/release/bin", "Archive/2018",
           "Archive/2021/Q3", "Shared/Team", "USB backup/DCIM", "Документы/Отчёты", "写真/旅行")
STEMS = ("DSC_0412", "IMG_2034", "holiday", "setup-x64", "dataset", "backup", "wedding_video", "scan0007",
         "presentation", "thesis_final", "GX010245", "album_cover", "game_assets", "recording",
         "VID_20210814_183022", "firmware", "report Q3 2021", "презентация", "写真アルバム", "Überweisung")
EXTS = (".jpg", ".NEF", ".mp4", ".MOV", ".zip", ".iso", ".csv", ".pdf", ".pptx", ".wav", ".bin", ".7z")


class Writer:
    def __init__(self, root, rng):
        self.root = root
        self.rng = rng
        self.taken = {}  # folder -> names in it
        self.bytes = 0
        self.files = 0
        self.links = 0

    def name_in(self, folder, wanted):
        taken = self.taken.setdefault(folder, set())
        name, n = wanted, 1
        while name in taken:
            stem, dot, ext = wanted.rpartition(".")
            name = "%s (%d).%s" % (stem, n, ext) if dot else "%s (%d)" % (wanted, n)
            n += 1
        taken.add(name)
        return os.path.join(self.root, folder, name)

    def write(self, folder, name, data):
        path = self.name_in(folder, name)
        with open(path, "wb", buffering=0) as f:
            f.write(data)
        self.bytes += len(data)
        self.files += 1
        return path

    def hard_link(self, target, folder, name):
        path = self.name_in(folder, name)
        os.link(target, path)
        self.links += 1
        return path

    def random_name(self):
        rng = self.rng
        return rng.choice(STEMS) + ("_%d" % rng.randrange(1000) if rng.random() < 0.6 else "") + rng.choice(EXTS)

    def copy_name(self, name):
        r = self.rng.random()
        if r < 0.6:
            return name
        if r < 0.8:
            return "Copy of " + name
        stem, _, ext = name.rpartition(".")
        return "%s-backup.%s" % (stem, ext)


def with_byte_changed(data, at):
    changed = bytearray(data)
    changed[at] ^= 0x5A
    return bytes(changed)


def generate(out, scale):
    rng = random.Random(SEED)
    root = os.path.join(out, "corpus.partial")
    shutil.rmtree(root, ignore_errors=True)
    for folder in FOLDERS:
        os.makedirs(os.path.join(root, folder))
    w = Writer(root, rng)

    def big(low, high):
        """A size in [low, high] MiB; --scale shrinks it but never below the 1 MiB floor."""
        size = rng.randrange(int(low * MIB), int(high * MIB) + 1)
        return max(MIB, int(size * scale)) if scale < 1 else size

    def spread(data, copies, name):
        """Writes `copies` copies of data into as many different folders; returns their paths."""
        return [w.write(folder, w.copy_name(name), data) for folder in rng.sample(FOLDERS, copies)]

    # Duplicate groups, including the edge sizes: exactly 1 MiB and exactly 20 MiB.
    group_paths = []
    sizes = [MIB, 20 * MIB if scale >= 1 else 2 * MIB] + [big(1, 20) for _ in range(48)]
    for size in sizes:
        group_paths.append(spread(rng.randbytes(size), rng.randint(2, 4), w.random_name()))

    # Hard links: to one copy of some groups (the set still has the same distinct files), and to both
    # copies of a two-copy group (still two files).
    for paths in group_paths[2:8]:
        w.hard_link(paths[0], rng.choice(FOLDERS), "link to " + os.path.basename(paths[0]))
    pair = spread(rng.randbytes(big(2, 6)), 2, w.random_name())
    for target in pair:
        w.hard_link(target, rng.choice(FOLDERS), os.path.basename(target))

    # Equal sizes, all different: one byte apart at the start, the middle or the end. A finder that
    # hashes only part of a file, or compares sizes and a prefix, reports these wrongly.
    for size in [big(1, 8) for _ in range(5)] + [20 * MIB if scale >= 1 else big(1, 20)]:
        base = rng.randbytes(size)
        name = w.random_name()
        folders = rng.sample(FOLDERS, 4)
        w.write(folders[0], name, base)
        w.write(folders[1], name, with_byte_changed(base, 0))
        w.write(folders[2], name, with_byte_changed(base, size // 2))
        w.write(folders[3], name, with_byte_changed(base, size - 1))
    # Two identical copies beside a third one byte apart: the set holds the two copies only.
    for at in ("first", "middle", "last"):
        size = big(1, 6)
        base = rng.randbytes(size)
        spread(base, 2, w.random_name())
        index = {"first": 0, "middle": size // 2, "last": size - 1}[at]
        w.write(rng.choice(FOLDERS), w.random_name(), with_byte_changed(base, index))

    # Just under the floor: identical, but too small to count.
    for _ in range(5):
        spread(rng.randbytes(MIB - 1), rng.randint(2, 3), w.random_name())
    # Small identical files and empty files: also never reported.
    note = b"Thumbs cache placeholder\r\n" * 40
    for i in range(60):
        w.write(FOLDERS[i % len(FOLDERS)], "desktop.ini" if i % 2 else "notes_%d.txt" % (i // 2), note)
    for i in range(20):
        w.write(FOLDERS[i % len(FOLDERS)], "empty_%d.log" % i, b"")

    # Unique files: some below the floor, most above, ten of one shared size.
    for _ in range(40):
        w.write(rng.choice(FOLDERS), w.random_name(), rng.randbytes(rng.randrange(1024, MIB)))
    for _ in range(40):
        w.write(rng.choice(FOLDERS), w.random_name(), rng.randbytes(big(1, 8)))
    shared = big(4, 4)
    for _ in range(10):
        w.write(rng.choice(FOLDERS), w.random_name(), rng.randbytes(shared))
    # A single file with two extra names: one file, so no set.
    lone = w.write(rng.choice(FOLDERS), w.random_name(), rng.randbytes(big(2, 5)))
    for folder in rng.sample(FOLDERS, 2):
        w.hard_link(lone, folder, os.path.basename(lone))

    final = os.path.join(out, "corpus")
    os.rename(root, final)
    manifest = {"seed": SEED, "scale": scale, "files": w.files, "hard_links": w.links, "bytes": w.bytes}
    corpus.write_manifest(out, manifest)
    return manifest


if __name__ == "__main__":
    corpus.main("gen_dupes.py", "corpus", generate,
                lambda m: "gen_dupes: %d files, %d hard links, %.2f GB" % (m["files"], m["hard_links"], m["bytes"] / 1e9))
