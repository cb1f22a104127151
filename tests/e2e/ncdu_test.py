#!/usr/bin/env python3
"""spadrim-cli and the real ncdu on the same tree: hard links, a sparse file, links to a file and to a
folder, a FIFO, a name that is not UTF-8, a folder another user cannot read, and a mount point (in a
private mount namespace). Both scan as uid 65534, so that the locked folder is locked for both.

- ncdu's export, imported, must equal spadrim's own scan: total, folders, unreadable folders, every
  folder's entries with their sizes, the largest files; files up to the links to folders, which ncdu's
  format records as links of no kind (spadrim counts them as files, one more each).
- spadrim's export must be read by ncdu (`ncdu -f FILE -o -`) and come back with the same entries.
- ncdu -o, then spadrim --import --export, then ncdu again keeps every entry and size.

Ends with "ncdu: N passed, N failed"; exits 77 (skipped) where ncdu or root is missing."""
import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile

from tally import check, finish

parser = argparse.ArgumentParser()
parser.add_argument("--cli", required=True, help="path of spadrim-cli")
args = parser.parse_args()

NOBODY = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"]
if not shutil.which("ncdu") or os.geteuid() != 0:
    print("ncdu: skipped (needs ncdu and root, to scan as another user in a mount namespace of its own)")
    sys.exit(77)


def make_tree(root):
    os.chmod(root, 0o755)
    with open(os.path.join(root, "plain.txt"), "wb") as f:
        f.write(b"p" * 1000)
    with open(os.path.join(root, "sparse.img"), "wb") as f:
        f.write(b"s" * 4096)
        f.truncate(10 << 20)
    os.makedirs(os.path.join(root, "sub", "deep"))
    with open(os.path.join(root, "sub", "deep", "file.bin"), "wb") as f:
        f.write(os.urandom(70_000))
    with open(os.path.join(root, "sub", "hard_a"), "wb") as f:
        f.write(b"h" * 50_000)
    os.link(os.path.join(root, "sub", "hard_a"), os.path.join(root, "hard_b"))
    os.symlink("plain.txt", os.path.join(root, "link_file"))
    os.symlink("sub", os.path.join(root, "link_dir"))
    os.mkfifo(os.path.join(root, "fifo"))
    odd = os.path.join(os.fsencode(root), b"caf\xe9")
    os.makedirs(odd)
    with open(os.path.join(odd, b"x\xff.txt"), "wb") as f:
        f.write(b"x" * 3000)
    os.makedirs(os.path.join(root, "locked"))
    with open(os.path.join(root, "locked", "secret.txt"), "wb") as f:
        f.write(b"k" * 9000)
    os.chmod(os.path.join(root, "locked"), 0)
    os.makedirs(os.path.join(root, "mnt"))
    # A time of its own for each entry, older for folders than what they hold.
    for i, (top, dirs, files) in enumerate(os.walk(os.fsencode(root), topdown=False)):
        for j, name in enumerate(dirs + files):
            stamp = 1_500_000_000 + 1_000_000 * i + 1000 * j
            os.utime(os.path.join(top, name), (stamp, stamp), follow_symlinks=False)
        os.utime(top, (1_000_000_000 + i, 1_000_000_000 + i))


def in_namespace(root, commands):
    """Runs the shell commands in a private mount namespace with a tmpfs on root/mnt holding 2,000 bytes."""
    mount = f"mount -t tmpfs none '{root}/mnt' && head -c 2000 /dev/zero > '{root}/mnt/inner.bin' && "
    return subprocess.run(["unshare", "-m", "sh", "-ec", mount + " && ".join(commands)], capture_output=True)


def as_nobody(*command):
    return " ".join(NOBODY + [f"'{c}'" for c in command])


def load(path):
    """An export as Python values; names that are not UTF-8 keep their bytes as surrogate escapes."""
    with open(path, "rb") as f:
        return json.loads(f.read().decode("utf-8", "surrogateescape"))


def entries(document):
    """path -> (counted size, notreg, read_error, excluded) of every entry below the root."""
    out = {}

    def visit(folder, path):
        for item in folder[1:]:
            info = item[0] if isinstance(item, list) else item
            here = path + "/" + info["name"]
            size = min(info.get("asize", 0), info.get("dsize", 0))
            out[here] = (0 if isinstance(item, list) else size, bool(info.get("notreg")),
                         bool(info.get("read_error")), info.get("excluded", ""))
            if isinstance(item, list):
                visit(item, here)

    visit(document[3], "")
    return out


def rows(report, field=None):
    """The nested rows of a --json report: path -> (size, link, unreadable, a folder that is entered), or
    path -> that one field of the row."""
    out = {}

    def visit(children, path):
        for row in children or []:
            here = path + "/" + row["name"]
            out[here] = row[field] if field else (row["size"], row["link"], row["unreadable"],
                                                  row["dir"] and not row["link"])
            visit(row.get("children"), here)

    visit(report["children"], "")
    return out


with tempfile.TemporaryDirectory() as work:
    root = os.path.join(work, "tree")
    os.makedirs(root)
    os.chmod(work, 0o755)
    make_tree(root)
    os.makedirs(os.path.join(work, "out"))
    os.chmod(os.path.join(work, "out"), 0o777)  # where uid 65534 writes
    out = lambda name: os.path.join(work, "out", name)
    report = ["--json", "--top", "0", "--depth", "100", "--largest", "300"]
    ran = in_namespace(root, [
        as_nobody("ncdu", "--ignore-config", "-x", "-o", out("ncdu.json"), root) + " 2>/dev/null",
        as_nobody(args.cli, root, *report, "--export", out("spadrim.json")) + f" > '{out('scan.json')}'",
        as_nobody("ncdu", "--ignore-config", "-x", "-e", "-o", out("ncdu-e.json"), root) + " 2>/dev/null",
    ])
    if ran.returncode != 0:
        print(ran.stderr.decode(errors="replace"))
        check("ncdu and spadrim-cli scan the tree", False, ran.returncode)
        finish("ncdu")

    # ncdu's export, imported, against spadrim's own scan.
    imported_run = subprocess.run([args.cli, "--import", out("ncdu.json"), *report], capture_output=True)
    check("the export of ncdu is imported", imported_run.returncode == 0, imported_run.stderr)
    imported = json.loads(imported_run.stdout)
    with open(out("scan.json"), "rb") as f:
        scanned = json.loads(f.read())
    for figure in ("size", "folders", "unreadable_folders"):
        check(f"import and scan agree: {figure}", imported[figure] == scanned[figure],
              (imported[figure], scanned[figure]))
    check("the import's total counts the sparse file by its blocks and each hard link in full",
          scanned["size"] == 1000 + 4096 + 70_000 + 2 * 50_000 + 3000, scanned["size"])
    check("import and scan agree: files, but for the link to a folder, a file in the import",
          imported["files"] == scanned["files"] + 1, (imported["files"], scanned["files"]))
    ours, theirs = rows(scanned), rows(imported)
    # What ncdu calls "not a regular file": the link to a folder, a folder link in the scan, and the FIFO,
    # a file in the scan, are links of no kind in the import.
    ours["/link_dir"] = ours["/fifo"] = (0, True, False, False)
    check("every folder's entries and sizes agree", ours == theirs,
          {k: (ours.get(k), theirs.get(k)) for k in set(ours) | set(theirs) if ours.get(k) != theirs.get(k)})
    check("the mount point is a folder link in both", theirs.get("/mnt") == (0, True, False, False) and
          scanned["children"] and any(r["name"] == "mnt" and r["dir"] and r["link"] for r in scanned["children"]))
    check("the locked folder is unreadable in both", theirs.get("/locked") == (0, False, True, True), theirs.get("/locked"))
    link_dir = os.path.join(root, "link_dir")
    check("the largest files agree, the link to a folder being a file of 0 bytes in the import",
          [(f["path"], f["size"]) for f in imported["largest"] if f["path"] != link_dir] ==
          [(f["path"], f["size"]) for f in scanned["largest"]],
          (imported["largest"], scanned["largest"]))
    check("the name that is not UTF-8 is shown repaired", "/caf\ufffd/x\ufffd.txt" in theirs, sorted(theirs))

    # ncdu -e writes each entry's own modified time: imported, a folder has the newest below it, as in
    # the scan. ncdu writes none for the other file system it did not enter.
    extended_run = subprocess.run([args.cli, "--import", out("ncdu-e.json"), *report], capture_output=True)
    check("the export of ncdu -e is imported", extended_run.returncode == 0, extended_run.stderr)
    if extended_run.returncode == 0:
        ours_times, theirs_times = rows(scanned, "modified"), rows(json.loads(extended_run.stdout), "modified")
        ours_times.pop("/mnt"), theirs_times.pop("/mnt")
        check("modified times agree with ncdu -e's, folders' the newest below them",
              ours_times == theirs_times and None not in ours_times.values(),
              {k: (ours_times.get(k), theirs_times.get(k)) for k in set(ours_times) | set(theirs_times)
               if ours_times.get(k) != theirs_times.get(k)})

    # spadrim's export, read by ncdu and written again.
    back = subprocess.run(["ncdu", "--ignore-config", "-f", out("spadrim.json"), "-o", out("ncdu-again.json")], capture_output=True)
    check("ncdu reads spadrim's export", back.returncode == 0, back.stderr)
    written, again = entries(load(out("spadrim.json"))), entries(load(out("ncdu-again.json")))
    check("ncdu writes back every entry of spadrim's export with its size", written == again,
          {k: (written.get(k), again.get(k)) for k in set(written) | set(again) if written.get(k) != again.get(k)})
    check("spadrim's export holds the exact names, unreadable folders and links",
          "/caf\udce9/x\udcff.txt" in written and written["/locked"][2] and written["/link_file"][1], sorted(written))
    check("spadrim's export names the root by its path", load(out("spadrim.json"))[3][0]["name"] == root)

    # Through both tools: ncdu -o, spadrim --import --export, ncdu -f -o.
    via = subprocess.run([args.cli, "--import", out("ncdu.json"), "--export", out("via.json.gz")],
                         capture_output=True)
    check("an import is exported, compressed", via.returncode == 0, via.stderr)
    subprocess.run(["sh", "-c", f"gzip -dc '{out('via.json.gz')}' > '{out('via.json')}'"], check=True)
    final = subprocess.run(["ncdu", "--ignore-config", "-f", out("via.json"), "-o", out("final.json")], capture_output=True)
    # Names come back with the bytes ncdu wrote, UTF-8 or not.
    first, last = entries(load(out("ncdu.json"))), entries(load(out("final.json")))
    # The mount point leaves ncdu as another file system and comes back as a link of no kind.
    first["/mnt"] = (0, True, False, "")
    check("a round trip through both tools keeps every entry, size and exact name", final.returncode == 0 and first == last,
          {k: (first.get(k), last.get(k)) for k in set(first) | set(last) if first.get(k) != last.get(k)})
    gz = subprocess.run([args.cli, "--import", out("via.json.gz"), "--json"], capture_output=True)
    check("the compressed export reads back", gz.returncode == 0 and json.loads(gz.stdout)["size"] == imported["size"])

finish("ncdu")
