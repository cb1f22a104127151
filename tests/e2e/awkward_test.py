#!/usr/bin/env python3
"""spadrim-cli on awkward but ordinary trees: names that are not UTF-8, a folder that can be listed but
not entered (seen by another user), paths far longer than PATH_MAX, sparse copies, and a bind mount.
Every total is checked against an independent recount that moves through the tree by changing its
working folder one name at a time, so no path is ever too long for it.

Cases that need what this machine cannot give (root, a private mount namespace, sparse files) are
skipped with the reason printed. Ends with "awkward: N passed, N failed"; exits non-zero on any failure."""
import argparse
import json
import os
import shutil
import stat
import subprocess
import sys
import tempfile

from tally import check, finish

NOBODY = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"]
MiB = 1 << 20

parser = argparse.ArgumentParser()
parser.add_argument("--cli", help="path of spadrim-cli")
parser.add_argument("--recount", help="print the recount of this folder as JSON and exit")
args = parser.parse_args()



def skip(name, reason):
    print(f"[skip] {name}: {reason}")


def enter(path):
    """chdir to a path of any length, one name at a time."""
    if path.startswith(b"/"):
        os.chdir(b"/")
    for name in path.split(b"/"):
        if name:
            os.chdir(name)


def recount(root, links=()):
    """Size, files, listed folders and unreadable folders the way the walker counts them. Links are never
    followed (a link to a folder is a folder that is not listed, any other link a file of size 0); a file
    counts the smaller of its length and its allocated blocks; an entry that cannot be measured takes its
    kind from the listing; a folder that cannot be listed, or whose entries cannot be measured, is
    unreadable. `links`: paths below root (bytes, relative) to count as folder links, e.g. mount points."""
    total = {"size": 0, "files": 0, "folders": 0, "unreadable": 0}

    def list_here(name, where):
        """Lists the folder `name` of the working folder; returns its subfolders to visit."""
        total["folders"] += 1
        try:
            entries = list(os.scandir(name))
        except OSError:
            total["unreadable"] += 1
            return []
        subfolders = []
        incomplete = False
        for entry in entries:
            try:
                info = entry.stat(follow_symlinks=False)
            except FileNotFoundError:
                continue
            except OSError:
                incomplete = True
                if entry.is_dir(follow_symlinks=False):  # the kind from the listing alone
                    subfolders.append(entry.name)
                else:
                    total["files"] += 1
                continue
            if stat.S_ISLNK(info.st_mode):
                if not entry.is_dir(follow_symlinks=True):
                    total["files"] += 1
            elif stat.S_ISDIR(info.st_mode):
                if os.path.join(where, entry.name) not in links:
                    subfolders.append(entry.name)
            else:
                total["size"] += min(info.st_size, info.st_blocks * 512)
                total["files"] += 1
        if incomplete:
            total["unreadable"] += 1
        return subfolders

    def descend(name, where, subfolders, stack):
        if not subfolders:
            return
        try:
            os.chdir(name)
        except OSError:  # listed, but not to be entered: none of its subfolders can be listed
            total["folders"] += len(subfolders)
            total["unreadable"] += len(subfolders)
            return
        stack.append((where, subfolders))

    start = os.open(".", os.O_RDONLY)
    try:
        root = os.path.abspath(os.fsencode(root))
        parent, name = os.path.split(root)
        enter(parent)
        stack = []  # (relative path of the working folder, its subfolders still to visit)
        descend(name, b"", list_here(name, b""), stack)
        while stack:
            where, pending = stack[-1]
            if not pending:
                stack.pop()
                os.chdir(b"..")
                continue
            name = pending.pop()
            path = os.path.join(where, name) if where else name
            descend(name, path, list_here(name, path), stack)
    finally:
        os.fchdir(start)
        os.close(start)
    return total


if args.recount:
    print(json.dumps(recount(os.fsencode(args.recount))))
    sys.exit(0)


def run(*cli_args, prefix=(), timeout=600):
    env = dict(os.environ, LANG="C.UTF-8", LC_ALL="")
    result = subprocess.run([*prefix, args.cli, *cli_args], capture_output=True, env=env, timeout=timeout)
    return result.returncode, result.stdout, result.stderr.decode("utf-8", "replace")


def scan(root, *extra, prefix=()):
    code, out, err = run("--json", "--top", "0", *extra, root, prefix=prefix)
    if code != 0:
        return None, f"exit {code}: {err[:300]}"
    return json.loads(out), ""


def agrees(name, doc, expected, detail=""):
    if doc is None:
        check(name, False, detail)
        return
    got = {"size": doc["size"], "files": doc["files"], "folders": doc["folders"],
           "unreadable": doc["unreadable_folders"]}
    check(name, got == expected, f"got {got}, recount {expected} {detail}")


def write(path, size, fill=b"\x5a"):
    with open(path, "wb") as out:
        out.write(fill * size)


def make_chain(base, name, depth):
    """depth nested folders of one name below base, made with relative steps; returns nothing, leaves
    the working folder where it was."""
    start = os.open(".", os.O_RDONLY)
    try:
        os.chdir(base)
        for _ in range(depth):
            os.mkdir(name)
            os.chdir(name)
        write("bottom.bin", 12345)
    finally:
        os.fchdir(start)
        os.close(start)


def remove_tree(root):
    """rm -r that no depth defeats: empties folders bottom up by relative steps."""
    start = os.open(".", os.O_RDONLY)
    try:
        os.chdir(root)
        entered = []
        while True:
            entries = list(os.scandir(b"."))
            sub = next((e.name for e in entries if e.is_dir(follow_symlinks=False)), None)
            if sub is not None:
                os.chmod(sub, 0o700)
                os.chdir(sub)
                entered.append(sub)
                continue
            for entry in entries:
                os.unlink(entry.name)
            if not entered:
                break
            os.chdir(b"..")
            os.rmdir(entered.pop())
    finally:
        os.fchdir(start)
        os.close(start)
    os.rmdir(root)


def deep_path(base, name, depth):
    return os.path.join(base, *([name] * depth))


work = tempfile.mkdtemp(prefix="spadrim-awkward-")
os.chmod(work, 0o755)  # the permission case reads it as another user
try:
    # Names that are not UTF-8: two folders whose shown forms are the same, a file inside each, a copy
    # set of three spread over them.
    names = os.path.join(work, "names").encode()
    os.mkdir(names)
    for folder, size in [(b"caf\xe9", 100), (b"caf\xe8", 200)]:
        os.makedirs(os.path.join(names, folder, b"inner \xff"))
        write(os.path.join(names, folder, b"file"), size)
        write(os.path.join(names, folder, b"inner \xff", b"deep"), size + 1)
    copy = bytes(range(256)) * (1_100_000 // 256)
    for path in [b"copy.bin", b"caf\xe9/copy.bin", b"copy \xfe.bin"]:
        write(os.path.join(names, path), 1, fill=copy)
    expected = recount(names)
    doc, detail = scan(names, "--duplicates")
    agrees("names that are not UTF-8: totals equal the recount", doc, expected, detail)
    if doc:
        shown = sorted(c["name"] for c in doc["children"])
        check("both folders listed under their shown name", shown.count("caf\ufffd") == 2, str(shown))
        sizes = sorted(c["size"] for c in doc["children"] if c["name"] == "caf\ufffd")
        check("each keeps its own content", sizes == sorted([100 + 101 + len(copy), 200 + 201]), str(sizes))
        sets = doc["duplicates"]["sets"]
        check("the three copies form one set", len(sets) == 1 and len(sets[0]["paths"]) == 3, str(sets))
        check("every copy could be opened", doc["duplicates"]["could_not_open"] == 0)

    # Paths longer than PATH_MAX: a 120-level tree of 100-byte names with a file and a side folder at
    # every level (so that several walkers share it), scanned three times; a 5,000-level chain; and a
    # root whose own path is over 4,096 bytes.
    long_root = os.path.join(work, "long")
    os.mkdir(long_root)
    start = os.open(".", os.O_RDONLY)
    os.chdir(long_root)
    for level in range(120):
        write("f", 10)
        os.mkdir("side")
        write(os.path.join("side", "g"), level + 1)
        os.mkdir("n" * 100)
        os.chdir("n" * 100)
    os.fchdir(start)
    os.close(start)
    expected = recount(long_root)
    for attempt in range(3):
        doc, detail = scan(long_root)
        agrees(f"120 levels of 100-byte names, run {attempt + 1}: totals equal the recount", doc, expected, detail)
    long_start = deep_path(long_root, "n" * 100, 42)
    check("the deep root's path is over 4,096 bytes", len(long_start) > 4096, str(len(long_start)))
    doc, detail = scan(long_start)
    agrees("a root path over 4,096 bytes is scanned", doc, recount(long_start), detail)

    chain = os.path.join(work, "chain")
    os.mkdir(chain)
    make_chain(chain, "dddddd", 5000)
    doc, detail = scan(chain)
    agrees("a 5,000-level chain (35,000-byte path) is walked to the bottom", doc,
           {"size": 12345, "files": 1, "folders": 5001, "unreadable": 0}, detail)

    # Sparse copies: two of 8 MiB holding 2 MiB of data, and a full copy of the same content.
    sparse = os.path.join(work, "sparse")
    os.mkdir(sparse)
    data = bytes(range(256)) * (2 * MiB // 256)
    for name in ["a.img", "b.img"]:
        with open(os.path.join(sparse, name), "wb") as out:
            out.seek(3 * MiB)
            out.write(data)
            out.truncate(8 * MiB)
    with open(os.path.join(sparse, "full.img"), "wb") as out:
        out.write(b"\0" * (3 * MiB) + data + b"\0" * (3 * MiB))
        out.flush()
        os.fsync(out.fileno())
    on_disk = {n: os.stat(os.path.join(sparse, n)).st_blocks * 512 for n in ["a.img", "b.img", "full.img"]}
    if on_disk["a.img"] >= 8 * MiB:
        skip("sparse copies", f"this file system stored a sparse file whole ({on_disk['a.img']} bytes)")
    else:
        doc, detail = scan(sparse, "--duplicates")
        agrees("sparse copies: totals count the space taken", doc, recount(sparse), detail)
        if doc:
            sets = doc["duplicates"]["sets"]
            check("sparse and full copies form one set of their length",
                  len(sets) == 1 and len(sets[0]["paths"]) == 3 and sets[0]["size"] == 8 * MiB, str(sets))
            if sets:
                freed = sum(min(v, 8 * MiB) for v in on_disk.values()) - max(min(v, 8 * MiB) for v in on_disk.values())
                check("wasted is what deleting the extra copies frees", sets[0]["wasted"] == freed,
                      f"{sets[0]['wasted']} != {freed}")
            check("no sparse copy counted as unopenable", doc["duplicates"]["could_not_open"] == 0)

    # A bind mount inside the scanned folder is a link, never entered: its content counts once.
    mounted = os.path.join(work, "mounted")
    os.makedirs(os.path.join(mounted, "data"))
    os.makedirs(os.path.join(mounted, "mirror"))
    write(os.path.join(mounted, "data", "x.bin"), 5000)
    expected = recount(os.fsencode(mounted), links={b"mirror"})
    probe = subprocess.run(["unshare", "-m", "true"], capture_output=True)
    if probe.returncode != 0:
        skip("bind mount", "no private mount namespace here: " + probe.stderr.decode(errors="replace").strip())
    else:
        result = subprocess.run(
            ["unshare", "-m", "--propagation", "private", "sh", "-c",
             'mount --bind "$1" "$2" && exec "$3" --json --top 0 "$4"', "sh",
             os.path.join(mounted, "data"), os.path.join(mounted, "mirror"), args.cli, mounted],
            capture_output=True, timeout=300)
        doc = json.loads(result.stdout) if result.returncode == 0 else None
        agrees("bind mount: content counted once", doc, expected, result.stderr.decode(errors="replace"))
        if doc:
            mirror = next((c for c in doc["children"] if c["name"] == "mirror"), None)
            check("the mount point is a folder link of size 0",
                  mirror is not None and mirror["dir"] and mirror["link"] and mirror["size"] == 0, str(mirror))

    # A folder that can be listed but not entered, scanned as another user.
    locked = os.path.join(work, "locked")
    os.makedirs(os.path.join(locked, "listonly", "sub"))
    write(os.path.join(locked, "listonly", "a.bin"), 700)
    write(os.path.join(locked, "listonly", "sub", "b.bin"), 800)
    write(os.path.join(locked, "open.bin"), 900)
    os.chmod(os.path.join(locked, "listonly"), 0o444)
    cli_copy = os.path.join(work, "spadrim-cli")  # where the other user may run it
    shutil.copy(args.cli, cli_copy)
    os.chmod(cli_copy, 0o755)
    if os.geteuid() != 0:
        skip("list-only folder", "dropping to another user needs root")
    else:
        who = subprocess.run([*NOBODY, sys.executable, os.path.abspath(__file__), "--recount", locked],
                             capture_output=True, timeout=120)
        if who.returncode != 0:
            skip("list-only folder", "setpriv could not drop privileges: " + who.stderr.decode(errors="replace")[:200])
        else:
            expected = json.loads(who.stdout)
            check("the recount as another user finds the listing incomplete", expected["unreadable"] == 2,
                  str(expected))
            saved, args.cli = args.cli, cli_copy
            doc, detail = scan(locked, prefix=NOBODY)
            args.cli = saved
            agrees("list-only folder: totals equal the other user's recount", doc, expected, detail)
            if doc:
                row = next((c for c in doc["children"] if c["name"] == "listonly"), {})
                check("it is marked unreadable and holds one file and one folder",
                      row.get("unreadable") and row.get("files") == 1 and row.get("size") == 0, str(row))
finally:
    remove_tree(work)

finish("awkward")
