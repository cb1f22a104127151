#!/usr/bin/env bash
# Search benchmark: queries matched over a generated tree of 1,000,000 nodes built in memory
# (bench/search.cpp), each beside one pass that only reads every name once, with their ratio (the aim:
# at most 2.00 for a name query) and the time to a sliced search's first results (the aim: within
# 100 ms). Exits 1 when a name query misses its aim. Not part of the test command.
set -euo pipefail
# shellcheck source=bench/common.sh
source "$(dirname "$0")/common.sh"

install_packages cmake ninja-build g++ pkg-config nlohmann-json3-dev libssl-dev
log=$(mktemp /tmp/spadrim-bench-search-XXXXXX)
trap 'rm -f "$log"' EXIT
echo "building spadrim_search_bench (Release, build/bench) ..."
if ! { cmake -S "$repo_dir" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
         -DSPADRIM_WERROR=OFF && cmake --build "$build_dir" --target spadrim_search_bench; } >"$log" 2>&1; then
  tail -n 40 "$log" >&2
  echo "bench: the search benchmark did not build" >&2
  exit 1
fi
"$build_dir/spadrim_search_bench"
