#!/usr/bin/env bash
# Remembered-scan benchmark: what saving a finished scan costs against the scan itself, measured in the
# same run on bench/gen_tree.py's tree. The scan is `spadrim-cli --json TREE` (hyperfine, warm cache);
# the save is save_scan on the same tree, walked once by spadrim_save_bench (bench/save.cpp), which also
# times the same document written at zlib's default level for comparison. Prints both, the file's size,
# their processor times (the scan's on all its walker threads, the save's on its one thread) and the
# ratio save / scan of the wall times next to its target (at most 0.25). Not part of the test command.
#   bench/remember.sh             RUNS=10 timed runs each by default; SCALE=0.1 for a quick try
set -euo pipefail
# shellcheck source=bench/common.sh
source "$(dirname "$0")/common.sh"
runs=${RUNS:-10}
scale=${SCALE:-1}

install_packages hyperfine python3
build_cli
log=$(mktemp /tmp/spadrim-bench-remember-XXXXXX)
echo "building spadrim_save_bench (Release, build/bench) ..."
if ! cmake --build "$build_dir" --target spadrim_save_bench >"$log" 2>&1; then
  tail -n 40 "$log" >&2
  rm -f "$log"
  echo "bench: the saving benchmark did not build" >&2
  exit 1
fi
rm -f "$log"
corpus=$(corpus_for "$bench_dir/gen_tree.py" "$scale")
tree=$corpus/tree

tmp=$(mktemp -d /tmp/spadrim-bench-remember-XXXXXX)
trap 'rm -rf "$tmp"' EXIT
names=(scan)
command_for() {
  words=("$cli" --json "$tree")
}
try_then_time "${names[@]}"
echo "saving the tree $runs times ..."
"$build_dir/spadrim_save_bench" "$tree" "$tmp/scans" "$runs" >"$tmp/save"

"$py" - "$tmp/times" "$tmp/save" "$tmp/times.json" <<'PY'
import json, sys
scan = float(open(sys.argv[1]).read().split()[1])
save = {line.split()[0]: float(line.split()[1]) for line in open(sys.argv[2])}
timed = json.load(open(sys.argv[3]))["results"][0]
scan_cpu = timed["user"] + timed["system"]
print()
print("entries %d; the document %.1f MB, its file %.1f MB (%.1f times smaller)"
      % (save["entries"], save["text-bytes"] / 1e6, save["bytes"] / 1e6, save["text-bytes"] / save["bytes"]))
print("%-34s %8.3f s" % ("scan (spadrim-cli --json, median)", scan))
print("%-34s %8.3f s" % ("save (save_scan, median)", save["save"]))
print("%-34s %8.3f s" % ("  of which the document alone", save["document"]))
print("%-34s %8.3f s" % ("  at zlib's default level instead", save["default-level"]))
print("processor time: scan %.3f s (user + system, mean), save %.3f s (median), ratio %.2f"
      % (scan_cpu, save["save-cpu"], save["save-cpu"] / scan_cpu))
ratio = save["save"] / scan
print("save / scan  %5.2f   (target <= 0.25)  %s" % (ratio, "ok" if ratio <= 0.25 else "MISSED"))
PY
