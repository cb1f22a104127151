#!/usr/bin/env python3
"""spadrim-cli --volume (the MFT read) against an independent NTFS implementation: images are made with
ntfs-3g (mkntfs on a sparse file, filled through its FUSE mount), then read twice: from the image's MFT,
and by walking the same image mounted read-only. Both JSON documents must agree: totals, every folder's
entries and sizes, the largest files and the space by type.

The fill has nested folders, hard links across folders, sparse and compressed files, alternate data
streams, symbolic links (as reparse points, and as the system files ntfs-3g makes by itself, which
Windows lists as small files), names in Korean, Japanese and beyond the BMP, a deep chain of folders,
files deleted after creation, and 100,000 files written between larger ones, so that the MFT grows in
more than one piece. Damaged copies of the image must end with a clear error or count their damaged
records as unreadable.

Needs root and FUSE; without them it says why and exits 77 (ctest's skip). Ends with "ntfs: N passed,
N failed"."""
import argparse
import json
import os
import random
import shutil
import struct
import subprocess
import tempfile

from tally import check, finish

parser = argparse.ArgumentParser()
parser.add_argument("--cli", required=True)
parser.add_argument("--files", type=int, default=100_000, help="small files written for the MFT to grow")
args = parser.parse_args()

SKIP = 77


def skip(reason):
    print(f"[skip] NTFS images: {reason}")
    finish("ntfs", SKIP)


def run(*command, check_rc=True, timeout=600):
    result = subprocess.run(command, capture_output=True, timeout=timeout)
    if check_rc and result.returncode != 0:
        raise RuntimeError(f"{command[0]} failed: {result.stderr.decode(errors='replace')[:400]}")
    return result


def scan(*cli_args):
    result = run(args.cli, "--json", "--top", "0", "--depth", "100000", "--largest", "300", "--by-type",
                 *cli_args, check_rc=False)
    if result.returncode != 0:
        return None, result.stderr.decode(errors="replace")
    return json.loads(result.stdout), ""


def reparse_link(target, directory):
    """Reparse data of a relative symbolic link to target, as Windows writes it."""
    name = target.replace("/", "\\").encode("utf-16-le")
    body = struct.pack("<HHHHI", 0, len(name), len(name), len(name), 1) + name + name
    return struct.pack("<IHH", 0xA000000C, len(body), 0) + body


if os.geteuid() != 0:
    skip("mounting an image through FUSE needs root here")
for tool in ("mkntfs", "ntfs-3g", "setfattr"):
    if shutil.which(tool) is None:
        skip(f"{tool} is not installed (scripts/deps installs ntfs-3g and attr)")
if not os.path.exists("/dev/fuse"):
    skip("no /dev/fuse")

work = tempfile.mkdtemp(prefix="spadrim-ntfs-")
image = os.path.join(work, "volume.img")
mount = os.path.join(work, "mnt")
os.mkdir(mount)
mounted = False


def mount_image(*options):
    global mounted
    run("ntfs-3g", "-o", ",".join(options) if options else "rw", image, mount)
    mounted = True


def unmount():
    global mounted
    run("umount", mount)
    mounted = False


def write(path, size, rng, compressible=False):
    with open(path, "wb") as f:
        f.write((b"spadrim " * (size // 8 + 1))[:size] if compressible else rng.randbytes(size))


try:
    with open(image, "wb") as f:
        f.truncate(2 << 30)
    run("mkntfs", "-F", "-Q", "-q", image)
    try:
        mount_image("streams_interface=xattr", "compression")
    except RuntimeError as error:
        skip(f"the image does not mount here: {error}")

    rng = random.Random(12)
    folders = [mount]
    for i in range(40):
        folders.append(os.path.join(rng.choice(folders), rng.choice(["사진", "書類", "data", "😀 fun", "a b"]) + f" {i}"))
        os.makedirs(folders[-1])
    for i in range(300):
        write(os.path.join(rng.choice(folders), f"file {i}.{rng.choice(['jpg', 'txt', 'zip', 'mp3', 'bin'])}"),
              rng.randrange(0, 200_000), rng)
    # Hard links across folders: each name counts the file, as a listing does.
    for i in range(5):
        first = os.path.join(folders[1 + i], f"linked {i}.dat")
        write(first, 50_000 + i, rng)
        os.link(first, os.path.join(folders[10 + i], f"second name {i}.dat"))
    # Sparse: 8 MiB long, 100 KB written.
    with open(os.path.join(mount, "sparse.img"), "wb") as f:
        f.seek(3 << 20)
        f.write(rng.randbytes(100_000))
        f.truncate(8 << 20)
    # Compressed: a folder marked compressed compresses what is written into it.
    packed = os.path.join(mount, "packed")
    os.mkdir(packed)
    run("setfattr", "-h", "-v", "0x00000800", "-n", "system.ntfs_attrib_be", packed)
    for i in range(3):
        write(os.path.join(packed, f"text {i}.log"), 1_000_000 + i, rng, compressible=True)
    # Alternate data streams, which neither a listing nor the MFT read counts.
    streams = os.path.join(mount, "streams.txt")
    write(streams, 1000, rng)
    run("setfattr", "-n", "user.extra", "-v", "0x" + "ab" * 3000, streams)
    # Symbolic links as Windows makes them (reparse points), to a file and to a folder; and as ntfs-3g
    # makes them by itself, small system files that Windows lists as files of their length.
    for name, target, is_folder in (("to file", "sparse.img", False), ("to folder", "packed", True)):
        path = os.path.join(mount, "reparse " + name)
        if is_folder:
            os.mkdir(path)
        else:
            open(path, "wb").close()
        data = reparse_link(target, is_folder)
        run("setfattr", "-h", "-n", "system.ntfs_reparse_data", "-v", "0x" + data.hex(), path)
    interix = {"plain link": "sparse.img", "plain folder link": "packed"}
    for name, target in interix.items():
        os.symlink(target, os.path.join(mount, name))
    # A deep chain, made one step at a time.
    here = os.open(".", os.O_RDONLY)
    os.chdir(mount)
    for _ in range(300):
        os.mkdir("deep")
        os.chdir("deep")
    write("bottom.bin", 4321, rng)
    os.fchdir(here)
    os.close(here)
    # Deleted after creation: gone from both.
    for i in range(200):
        path = os.path.join(mount, f"gone {i}.tmp")
        write(path, 10_000, rng)
        os.remove(path)
    # Many files, with larger ones between them, so that the MFT grows in pieces.
    many = os.path.join(mount, "many")
    os.mkdir(many)
    for block in range(max(1, args.files // 1000)):
        os.mkdir(os.path.join(many, f"block {block}"))
        write(os.path.join(mount, f"filler {block}.bin"), 300_000, rng)
        for i in range(1000):
            with open(os.path.join(many, f"block {block}", f"f{i}.txt"), "wb") as f:
                f.write(b"x" * (i % 97))
    unmount()

    info = run("ntfsinfo", "-v", "-i", "0", image, check_rc=False).stdout.decode(errors="replace")
    data_runs = info.split("Dumping attribute $DATA")[1].split("Dumping attribute")[0] if "Dumping attribute $DATA" in info else ""
    pieces = [line for line in data_runs.splitlines() if line.strip().startswith("0x")]
    check("the MFT lies in more than one piece", len(pieces) >= 2, data_runs[-400:])

    from_mft, error = scan("--volume", image)
    check("the MFT read succeeds", from_mft is not None, error)
    mount_image("ro")
    walked, error = scan(mount)
    unmount()
    check("the walk of the mounted image succeeds", walked is not None, error)

    if from_mft and walked:
        # What Windows lists for ntfs-3g's own links: files of 8 bytes of tag and the UTF-16 target.
        for row in walked["children"]:
            if row["name"] in interix:
                row.update(size=8 + 2 * len(interix[row["name"]]), files=1, dir=False, link=False)
                row.pop("children", None)
        walked["children"].sort(key=lambda row: (-row["size"], row["name"].encode()))
        size_fix = sum(8 + 2 * len(target) for target in interix.values())
        files_fix = 1  # the link to a folder: not a file to the walk, a file to Windows
        for key, fix in (("size", size_fix), ("files", files_fix), ("folders", 0), ("unreadable_folders", 0)):
            check(f"{key} agrees", from_mft[key] == walked[key] + fix, f"{from_mft[key]} != {walked[key]} + {fix}")
        check("every folder's entries and sizes agree", from_mft["children"] == walked["children"],
              [(a["name"], b["name"]) for a, b in zip(from_mft["children"], walked["children"]) if a != b][:5])
        strip = lambda rows, root: sorted((r["path"][len(root):], r["size"]) for r in rows)
        check("the largest files agree", strip(from_mft["largest"], image) == strip(walked["largest"], mount))
        kinds = {k["label"]: k["size"] for k in from_mft["kinds"]}
        walked_kinds = {k["label"]: k["size"] for k in walked["kinds"]}
        walked_kinds["Other"] = walked_kinds.get("Other", 0) + size_fix
        check("the space by type agrees", kinds == walked_kinds, (kinds, walked_kinds))
        by_name = {row["name"]: row for row in from_mft["children"]}
        check("reparse links are links of size 0, never entered",
              by_name["reparse to file"]["link"] and by_name["reparse to folder"]["link"]
              and by_name["reparse to folder"]["dir"] and by_name["reparse to file"]["size"] == 0)
        check("a sparse file counts its allocated space", 100_000 <= by_name["sparse.img"]["size"] < 1 << 20)
        check("compressed files count their space on the disk", by_name["packed"]["size"] < 3_000_003)
        check("streams are not counted", by_name["streams.txt"]["size"] == 1000)
        check("names in Korean, Japanese and beyond the BMP are read",
              all(text in json.dumps(from_mft, ensure_ascii=False) for text in ("사진", "書類", "😀 fun")))

    # Damage: a cut image names the MFT but cannot give it; a record whose fixup fails counts as
    # unreadable, and the rest still reads.
    cut = os.path.join(work, "cut.img")
    with open(image, "rb") as source, open(cut, "wb") as target:
        target.write(source.read(1 << 20))
    code = run(args.cli, "--json", "--volume", cut, check_rc=False)
    check("a cut image ends with a clear error", code.returncode == 1 and b"MFT" in code.stderr, code.stderr[:200])
    torn = os.path.join(work, "torn.img")
    shutil.copyfile(image, torn)
    with open(torn, "r+b") as f:
        boot = f.read(512)
        cluster = struct.unpack_from("<H", boot, 0x0B)[0] * boot[0x0D]
        mft = struct.unpack_from("<Q", boot, 0x30)[0] * cluster
        f.seek(mft + 1000 * 1024 + 510)  # a record of the fill: its first stride no longer ends in its number
        f.write(b"\xEE\xEE")
    damaged, error = scan("--volume", torn)
    check("a torn record counts as unreadable and the rest is read",
          damaged is not None and damaged["unreadable_folders"] == 1 and damaged["files"] < from_mft["files"]
          and damaged["files"] >= from_mft["files"] - 1000,
          error or (damaged and damaged["unreadable_folders"]))
    check("not NTFS at all is said so", b"not an NTFS volume" in run(args.cli, "--volume", args.cli, check_rc=False).stderr)
finally:
    if mounted:
        subprocess.run(["umount", mount])
    shutil.rmtree(work, ignore_errors=True)

finish("ntfs")
