#!/usr/bin/env bash
# Scan-file benchmark: `spadrim-cli --import FILE` beside ncdu's own reader of the same file
# (`ncdu -f FILE -o /dev/null`, which reads it whole and writes nothing), measured in the same run. The
# file is ncdu's export of bench/gen_tree.py's tree at SCALE=2.5 (about 1,000,000 entries), made once with
# `ncdu -o` and kept in the corpus folder. Prints a table: time, the ratio to ncdu, peak memory and peak
# memory per entry, each next to its target. Not part of the test command.
#   bench/ncdu.sh                 RUNS=10 timed runs each by default; SCALE=0.1 for a quick try
set -euo pipefail
# shellcheck source=bench/common.sh
source "$(dirname "$0")/common.sh"
runs=${RUNS:-10}
scale=${SCALE:-2.5}

install_packages hyperfine ncdu time python3
build_cli
corpus=$(corpus_for "$bench_dir/gen_tree.py" "$scale")
export_file=$corpus/ncdu.json
if [ ! -f "$corpus/ncdu.done" ]; then
  echo "exporting the tree with ncdu (once; later runs reuse it) ..." >&2
  ncdu --ignore-config -o "$export_file" "$corpus/tree" 2>/dev/null
  touch "$corpus/ncdu.done"
fi

tmp=$(mktemp -d /tmp/spadrim-bench-ncdu-XXXXXX)
trap 'rm -rf "$tmp"' EXIT
names=(spadrim ncdu)
command_for() {
  case $1 in
    spadrim) words=("$cli" --json --import "$export_file") ;;
    ncdu) words=(ncdu --ignore-config -f "$export_file" -o /dev/null) ;;
  esac
}
try_then_time "${names[@]}"

echo "peak memory (median of 3 runs each) ..."
for name in "${names[@]}"; do
  command_for "$name"
  echo "$name $(peak_rss "${words[@]}")" >>"$tmp/rss"
done
# What a process costs before any entry: the import of a file holding only the root.
printf '[1,2,{},[{"name":"/"}]]' >"$tmp/empty.json"
words=("$cli" --json --import "$tmp/empty.json")
echo "empty $(peak_rss "${words[@]}")" >>"$tmp/rss"

"$py" - "$tmp/times" "$tmp/rss" "$tmp/out.spadrim" "$export_file" "$runs" <<'PY'
import json, os, sys
times = {line.split()[0]: [float(x) for x in line.split()[1:]] for line in open(sys.argv[1])}
rss = {line.split()[0]: int(line.split()[1]) for line in open(sys.argv[2])}
report = json.load(open(sys.argv[3]))
size, runs = os.path.getsize(sys.argv[4]), sys.argv[5]
entries = report["files"] + report["folders"]

print()
print("file: {:,} bytes; {:,} files, {:,} folders, {:,} bytes counted".format(
    size, report["files"], report["folders"], report["size"]))
print()
print("%-8s %10s %9s %9s %11s %12s" % ("", "median", "± sd", "min", "peak RSS", "bytes/entry"))
per_entry = {}
for name in ("spadrim", "ncdu"):
    median, sd, fastest = times[name]
    per_entry[name] = (rss[name] - (rss["empty"] if name == "spadrim" else 0)) * 1024 / entries
    print("%-8s %8.3f s %7.3f s %7.3f s %7.1f MiB %12.1f" % (name, median, sd, fastest, rss[name] / 1024,
                                                           per_entry[name]))
print("(median of %s hyperfine runs after 2 warm-up runs; peak RSS from GNU time, median of 3 runs;\n"
      " spadrim's bytes/entry = (peak RSS - RSS importing a file of only the root) / (files + folders);\n"
      " ncdu's is its whole peak RSS per entry)" % runs)
print()

def verdict(ok):
    return "ok" if ok else "MISSED"

ratio = times["spadrim"][0] / times["ncdu"][0]
print("time against ncdu -f    %8.2fx   (target < 1)   %s" % (ratio, verdict(ratio < 1)))
print("MB/s read               %8.0f" % (size / times["spadrim"][0] / 1e6))
print("peak bytes per entry    %8.1f    (target <= 64) %s" % (per_entry["spadrim"], verdict(per_entry["spadrim"] <= 64)))
PY
