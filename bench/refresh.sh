#!/usr/bin/env bash
# Refresh benchmark: one folder of bench/gen_tree.py's (about 100,000 entries) analysed again inside a
# drive of about 1,000,000 built in memory, into which its first walk was spliced (bench/refresh.cpp).
# Prints the whole refresh (the walk, the splice and the compaction when it is worth it) beside a plain
# walk of the folder, medians of ten runs with a warm cache, with their ratio (the aim: at most 1.10),
# the splice and the compaction alone, and after ten refreshes the memory the drive holds beside the same
# content built in one pass (the aim: at most 1.05). Exits 1 when an aim is missed. Not part of the test
# command. Then bench/burst.cpp: the processor time following costs while 10,000 files are made and
# most deleted again in a followed folder, beside what making them costs their own thread (the aim:
# a few hundred milliseconds, at most 500).
#   bench/refresh.sh    SCALE=0.23 (gen_tree.py's scale: about 100,000 entries) by default; CORPUS_HOME
#                       puts the generated folder elsewhere than /tmp/spadrim-bench
set -euo pipefail
# shellcheck source=bench/common.sh
source "$(dirname "$0")/common.sh"
scale=${SCALE:-0.23}

install_packages python3
build_cli spadrim_refresh_bench
corpus=$(corpus_for "$bench_dir/gen_tree.py" "$scale")
build_cli spadrim_burst_bench
note_load
status=0
"$build_dir/spadrim_refresh_bench" "$corpus/tree" || status=1
# Then a burst of files made and deleted while results follow the disk (bench/burst.cpp).
work=$(mktemp -d /tmp/spadrim-burst-XXXXXX)
trap 'rm -rf "$work"' EXIT
"$build_dir/spadrim_burst_bench" "$work" || status=1
exit $status
