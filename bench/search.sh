#!/usr/bin/env bash
# Search benchmark: queries matched over a generated tree of 1,000,000 nodes built in memory
# (bench/search.cpp), each beside one pass that only reads every name once, with their ratio (the aim:
# at most 2.00 for a name query) and the time to a sliced search's first results (the aim: within
# 100 ms). Exits 1 when a name query misses its aim. Not part of the test command.
set -euo pipefail
# shellcheck source=bench/common.sh
source "$(dirname "$0")/common.sh"

build_cli spadrim_search_bench
"$build_dir/spadrim_search_bench"
