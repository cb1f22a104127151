#!/usr/bin/env bash
# Scan benchmark: wall time (hyperfine) and peak memory (GNU time) of `spadrim-cli --json` beside du,
# gdu, ncdu and the system-call floor (bench/floor.c: two threads making only the calls spadrim-cli's
# walker makes, building nothing), all measured in one run on the same generated tree
# (bench/gen_tree.py: 400,000 files in 30,000 folders, made once under /tmp and reused), on a warm
# cache. Prints a table, the time ratios to du, gdu and the floor and the memory per entry, each next to
# its target. Not part of the test command.
#   bench/scan.sh                 RUNS=10 timed runs per tool by default; SCALE=0.1 for a small tree
set -euo pipefail
# shellcheck source=bench/common.sh
source "$(dirname "$0")/common.sh"
runs=${RUNS:-10}
scale=${SCALE:-1}

install_packages hyperfine gdu ncdu time python3 gcc
build_cli
floor=$build_dir/floor
cc -O2 -pthread -o "$floor" "$bench_dir/floor.c"
corpus=$(corpus_for "$bench_dir/gen_tree.py" "$scale")
tree=$corpus/tree

tmp=$(mktemp -d /tmp/spadrim-bench-scan-XXXXXX)
trap 'rm -rf "$tmp"' EXIT
mkdir "$tmp/empty"

# gdu's options have moved between releases: take the non-interactive ones that this gdu has.
gdu_help=$(gdu --help 2>&1)
grep -q -- '--non-interactive' <<<"$gdu_help" || { echo "bench: this gdu has no --non-interactive" >&2; exit 1; }
gdu_flags=(-n)
grep -q -- '--no-progress' <<<"$gdu_help" && gdu_flags+=(-p)
grep -q -- '--no-color' <<<"$gdu_help" && gdu_flags+=(-c)

tools=(spadrim-cli floor du gdu ncdu)
# Sets `words` to TOOL's command line for FOLDER.
command_for() {
  case $1 in
    spadrim-cli) words=("$cli" --json "$2") ;;
    floor) words=("$floor" "$2") ;;
    du) words=(du -s "$2") ;;
    gdu) words=(gdu "${gdu_flags[@]}" "$2") ;;
    ncdu) words=(ncdu -0 -x -o /dev/null "$2") ;;
  esac
}
quoted() { printf '%q ' "$@"; }

echo "tools: $(du --version | head -n 1); gdu $(gdu --version 2>&1 | awk '/Version/ { print $2 }');" \
     "$(ncdu -v); $(hyperfine --version)"
echo "commands:"
for tool in "${tools[@]}"; do
  command_for "$tool" "$tree"
  echo "  $(quoted "${words[@]}")"
done

# Every tool must finish cleanly before its time means anything; spadrim-cli's own counts go in the table.
for tool in "${tools[@]}"; do
  command_for "$tool" "$tree"
  if ! "${words[@]}" >"$tmp/out.$tool" 2>"$tmp/err.$tool"; then
    echo "bench: $tool failed on the corpus:" >&2
    head -n 20 "$tmp/err.$tool" >&2
    exit 1
  fi
done

note_load
hyperfine_args=()
for tool in "${tools[@]}"; do
  command_for "$tool" "$tree"
  hyperfine_args+=(-n "$tool" "$(quoted "${words[@]}")")
done
hyperfine -N --style basic --warmup 2 --runs "$runs" --export-json "$tmp/times.json" "${hyperfine_args[@]}"
hyperfine_stats "$tmp/times.json" >"$tmp/times"

# Hyperfine runs one command's runs after the other's, so on a shared machine a change of load between
# them moves the ratio to the floor by more than the scan's own cost. The ratio is taken from pairs
# instead: spadrim-cli and the floor one after the other, in alternating order, the median of the
# pairs' ratios.
echo "spadrim-cli and the floor in $runs alternating pairs ..."
command_for spadrim-cli "$tree"
cli_words=("${words[@]}")
"$py" - "$runs" "$floor" "$tree" "${cli_words[@]}" >"$tmp/pairs" <<'PY'
import statistics, subprocess, sys, time
runs, floor, tree, cli = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4:]
def timed(words):
    began = time.perf_counter()
    subprocess.run(words, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    return time.perf_counter() - began
ratios = []
for i in range(runs):
    if i % 2:
        f = timed([floor, tree]); c = timed(cli)
    else:
        c = timed(cli); f = timed([floor, tree])
    ratios.append(c / f)
print(statistics.median(ratios), min(ratios), max(ratios))
PY

echo "peak memory (median of 3 runs each, on the tree and on an empty folder) ..."
for tool in "${tools[@]}"; do
  command_for "$tool" "$tree"
  on_tree=$(peak_rss "${words[@]}")
  command_for "$tool" "$tmp/empty"
  on_empty=$(peak_rss "${words[@]}")
  echo "$tool $on_tree $on_empty" >>"$tmp/rss"
done

"$py" - "$corpus/manifest.json" "$tmp/times" "$tmp/rss" "$tmp/out.spadrim-cli" "$runs" "$tmp/out.floor" \
  "$tmp/pairs" <<'PY'
import json, sys
manifest = json.load(open(sys.argv[1]))
times = {line.split()[0]: [float(x) for x in line.split()[1:]] for line in open(sys.argv[2])}
rss = {line.split()[0]: [int(x) for x in line.split()[1:]] for line in open(sys.argv[3])}
cli = json.load(open(sys.argv[4]))
runs = sys.argv[5]
words = open(sys.argv[6]).read().split()
floor = dict(zip(words[0::2], (int(x) for x in words[1::2])))
entries = manifest["entries"]

# The floor is only a floor if it walked the same tree: the same files, folders and bytes.
mine = {"files": cli["files"], "folders": cli["folders"], "bytes": cli["size"]}
if floor != mine:
    sys.exit("bench: the floor counted %s, spadrim-cli %s" % (floor, mine))

print()
print("corpus: {:,} files ({:,} of them hard links), {:,} folders, {:,} symbolic links = {:,} entries, {:.0f} MB"
      .format(manifest["files"], manifest["hard_links"], manifest["folders"], manifest["symlinks"], entries,
              manifest["bytes"] / 1e6))
print("spadrim-cli counted {:,} files and {:,} folders (the root included)".format(cli["files"], cli["folders"]))
print()
print("%-12s %10s %9s %9s %11s %12s %12s" % ("tool", "median", "± sd", "min", "peak RSS", "empty RSS",
                                            "bytes/entry"))
per_entry = {}
for tool in ("spadrim-cli", "floor", "du", "gdu", "ncdu"):
    median, sd, fastest = times[tool]
    peak, empty = rss[tool]
    per_entry[tool] = (peak - empty) * 1024 / entries
    print("%-12s %8.3f s %7.3f s %7.3f s %7.1f MiB %8.1f MiB %12.1f"
          % (tool, median, sd, fastest, peak / 1024, empty / 1024, per_entry[tool]))
print("(median of %s hyperfine runs after 2 warm-up runs; peak RSS from GNU time, median of 3 runs;\n"
      " bytes/entry = (peak RSS - RSS on an empty folder) / entries)" % runs)
print()

def verdict(ok):
    return "ok" if ok else "MISSED"

cli_time = times["spadrim-cli"][0]
ratio, low, high = (float(x) for x in open(sys.argv[7]).read().split())
print("scan against the floor    %5.2fx  (target <= 1.10)  %s   (pairs %.2f to %.2f; medians above: %.2f)"
      % (ratio, verdict(ratio <= 1.10), low, high, cli_time / times["floor"][0]))
for peer, target in (("du", 0.60), ("gdu", 0.45)):
    ratio = cli_time / times[peer][0]
    print("spadrim-cli / %-4s time   %5.2f   (target <= %.2f)  %s" % (peer, ratio, target, verdict(ratio <= target)))
print("spadrim-cli / ncdu time   %5.2f   (no target)" % (cli_time / times["ncdu"][0]))
b = per_entry["spadrim-cli"]
print("spadrim-cli bytes/entry  %6.1f   (target <= 60)    %s" % (b, verdict(b <= 60)))
PY
