#!/usr/bin/env bash
# NTFS benchmark: `spadrim-cli --volume IMAGE` (the whole volume read from its master file table) beside
# two baselines measured in the same run: reading the same MFT bytes alone with dd from the page cache
# (the floor no MFT reader can beat), and spadrim-cli's walk of the same tree on ext4. The tree is
# bench/gen_tree.py's at SCALE=2.5 (about 1,000,000 files); it is copied once through ntfs-3g's FUSE
# mount into an NTFS image kept beside it under /tmp (about ten minutes; later runs reuse it). Prints a table, records per second, the ratio to the floor and the
# peak memory per entry, each next to its target. Needs root (FUSE). Not part of the test command.
#   bench/ntfs.sh                 RUNS=10 timed runs each by default; SCALE=0.1 for a quick try
set -euo pipefail
# shellcheck source=bench/common.sh
source "$(dirname "$0")/common.sh"
runs=${RUNS:-10}
scale=${SCALE:-2.5}

[ "$(id -u)" -eq 0 ] || { echo "bench/ntfs.sh: making the image mounts it through FUSE, which needs root" >&2; exit 1; }
install_packages hyperfine ntfs-3g time python3
build_cli
corpus=$(corpus_for "$bench_dir/gen_tree.py" "$scale")
tree=$corpus/tree

# The image belongs to the corpus it was copied from: it lives in the corpus folder and goes with it.
# `image.done` is written last, so an image without it is incomplete and made again.
image=$corpus/ntfs.img
if [ ! -f "$corpus/image.done" ]; then
  echo "copying the tree into an NTFS image (once; later runs reuse it) ..." >&2
  mount=$(mktemp -d /tmp/spadrim-bench-mnt-XXXXXX)
  rm -f "$image"
  # Room for the files, one 1 KiB record per entry and the MFT's growth; the file stays sparse.
  truncate -s "$(( $(du -sb "$tree" | cut -f1) * 3 + (4 << 30) ))" "$image"
  mkntfs -F -Q -q "$image" >"$corpus/mkntfs.log" 2>&1 || { cat "$corpus/mkntfs.log" >&2; exit 1; }
  ntfs-3g "$image" "$mount"
  if ! cp -a "$tree/." "$mount/"; then
    umount "$mount"; rmdir "$mount"
    echo "bench/ntfs.sh: copying the tree into the image failed" >&2
    exit 1
  fi
  umount "$mount"
  rmdir "$mount"
  touch "$corpus/image.done"
fi

tmp=$(mktemp -d /tmp/spadrim-bench-ntfs-XXXXXX)
trap 'rm -rf "$tmp"' EXIT

# Where the MFT lies, from ntfs-3g's own reading of record 0: the floor reads exactly these bytes, each
# piece with dd in 4 MiB blocks into its page-aligned buffer (the fastest plain reader at hand).
ntfsinfo -v -i 0 "$image" >"$tmp/mft-info" 2>/dev/null
"$py" - "$tmp/mft-info" "$image" >"$tmp/extents" <<'PY'
import re, sys
text = open(sys.argv[1], errors="replace").read()
boot = open(sys.argv[2], "rb").read(512)
per_cluster = boot[0x0D]
sector = int.from_bytes(boot[0x0B:0x0D], "little")
cluster = sector * per_cluster if per_cluster <= 0x80 else 1 << (256 - per_cluster)
data = text.split("Dumping attribute $DATA")[1].split("Dumping attribute")[0]
left = int(re.search(r"Data size:\s*(\d+)", data).group(1))
print(left)
for vcn, lcn, length in re.findall(r"^\s*(0x[0-9a-f]+)\s+(0x[0-9a-f]+)\s+(0x[0-9a-f]+)", data, re.M):
    take = min(int(length, 16) * cluster, left)
    if take > 0:
        print(int(lcn, 16) * cluster, take)
    left -= take
PY
mft_bytes=$(head -n 1 "$tmp/extents")
cat >"$tmp/floor.sh" <<'SH'
tail -n +2 "$2" | while read -r offset length; do
  dd if="$1" of=/dev/null bs=4M iflag=skip_bytes,count_bytes skip="$offset" count="$length" status=none
done
SH

names=(mft floor walk)
command_for() {
  case $1 in
    mft) words=("$cli" --json --volume "$image") ;;
    floor) words=(bash "$tmp/floor.sh" "$image" "$tmp/extents") ;;
    walk) words=("$cli" --json "$tree") ;;
  esac
}
try_then_time "${names[@]}"

echo "peak memory (median of 3 runs each) ..."
mkdir "$tmp/empty"
for name in mft walk; do
  command_for "$name"
  on_tree=$(peak_rss "${words[@]}")
  echo "$name $on_tree" >>"$tmp/rss"
done
words=("$cli" --json "$tmp/empty")
echo "empty $(peak_rss "${words[@]}")" >>"$tmp/rss"

"$py" - "$tmp/times" "$tmp/rss" "$tmp/out.mft" "$tmp/out.walk" "$mft_bytes" "$runs" <<'PY'
import json, sys
times = {line.split()[0]: [float(x) for x in line.split()[1:]] for line in open(sys.argv[1])}
rss = {line.split()[0]: int(line.split()[1]) for line in open(sys.argv[2])}
mft, walk = json.load(open(sys.argv[3])), json.load(open(sys.argv[4]))
mft_bytes, runs = int(sys.argv[5]), sys.argv[6]
records = mft_bytes // 1024
entries = {"mft": mft["files"] + mft["folders"], "walk": walk["files"] + walk["folders"]}

print()
print("image: MFT of {:,} bytes = {:,} records of 1 KiB".format(mft_bytes, records))
print("MFT read: {:,} files, {:,} folders, {:,} bytes; walk on ext4: {:,} files, {:,} folders, {:,} bytes"
      .format(mft["files"], mft["folders"], mft["size"], walk["files"], walk["folders"], walk["size"]))
print()
print("%-6s %10s %9s %9s %11s %12s" % ("", "median", "± sd", "min", "peak RSS", "bytes/entry"))
per_entry = {}
for name in ("mft", "floor", "walk"):
    median, sd, fastest = times[name]
    if name in rss:
        per_entry[name] = (rss[name] - rss["empty"]) * 1024 / entries[name]
        memory = "%7.1f MiB %12.1f" % (rss[name] / 1024, per_entry[name])
    else:
        memory = "%11s %12s" % ("-", "-")
    print("%-6s %8.3f s %7.3f s %7.3f s %s" % (name, median, sd, fastest, memory))
print("(median of %s hyperfine runs after 2 warm-up runs; peak RSS from GNU time, median of 3 runs;\n"
      " bytes/entry = (peak RSS - RSS on an empty folder) / (files + folders))" % runs)
print()

def verdict(ok):
    return "ok" if ok else "MISSED"

rate = records / times["mft"][0]
print("MFT records per second   %10.0f   (target >= 2,000,000)  %s" % (rate, verdict(rate >= 2e6)))
ratio = times["mft"][0] / times["floor"][0]
print("MFT read / floor time    %10.2f   (target <= 2.00)       %s" % (ratio, verdict(ratio <= 2)))
print("MFT read / walk time     %10.2f   (no target)" % (times["mft"][0] / times["walk"][0]))
print("bytes/entry MFT / walk   %6.1f / %.1f   (target: MFT <= walk)  %s"
      % (per_entry["mft"], per_entry["walk"], verdict(per_entry["mft"] <= per_entry["walk"])))
PY
