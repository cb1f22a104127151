# Shared by the benchmark scripts (sourced, not run): installing tools, building spadrim-cli, the corpus
# cache under /tmp and reading hyperfine's results.
# shellcheck shell=bash

bench_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo_dir=$(dirname "$bench_dir")
build_dir=$repo_dir/build/bench
# shellcheck disable=SC2034  # used by the scripts that source this file
# SPADRIM_CLI: time another build of spadrim-cli (an earlier commit's, for before-and-after figures)
# instead of building this checkout's.
cli=${SPADRIM_CLI:-$build_dir/spadrim-cli}
corpus_home=${CORPUS_HOME:-/tmp/spadrim-bench}  # CORPUS_HOME: elsewhere, where /tmp is small
# Debian's interpreter: the generators' output depends on its random module, so a pyenv or venv python
# earlier on PATH must not decide the corpus.
py=/usr/bin/python3

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Installs the Debian packages named, only those not yet installed.
install_packages() {
  local missing=() package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "installing: ${missing[*]}"
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# Release build of a target (spadrim-cli by default) in build/bench, apart from the developers' build
# folders. SPADRIM_WERROR is off here: at -O3 GCC 12 raises a false -Wrestrict inside libstdc++'s
# std::string code, and a benchmark must not stop on a warning that the RelWithDebInfo test builds do not
# show.
build_cli() {
  local target=${1:-spadrim-cli} log
  if [ "$target" = spadrim-cli ] && [ -n "${SPADRIM_CLI:-}" ]; then
    [ -x "$SPADRIM_CLI" ] || { echo "bench: SPADRIM_CLI=$SPADRIM_CLI is not a program" >&2; return 1; }
    echo "timing $SPADRIM_CLI (SPADRIM_CLI), not this checkout's build"
    return 0
  fi
  install_packages cmake ninja-build g++ pkg-config nlohmann-json3-dev libssl-dev zlib1g-dev
  log=$(mktemp /tmp/spadrim-bench-build-XXXXXX)
  echo "building $target (Release, build/bench) ..."
  if ! { cmake -S "$repo_dir" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
           -DSPADRIM_WERROR=OFF && cmake --build "$build_dir" --target "$target"; } >"$log" 2>&1; then
    tail -n 40 "$log" >&2
    rm -f "$log"
    echo "bench: the $target build failed (full log above, last 40 lines)" >&2
    return 1
  fi
  rm -f "$log"
}

# Makes the corpus that GENERATOR writes into a folder of its own under /tmp, once: the folder's name
# carries the generator's content hash and the scale, and the generator writes manifest.json last, so
# a folder with a manifest is complete and current. Corpora of older versions of the generator are
# removed; other scales of this one stay. Prints the folder.
corpus_for() {
  local generator=$1 scale=$2 prefix key dir old
  prefix=$(basename "$generator" .py)
  key=$(sha256sum "$generator" | cut -c1-16)
  dir=$corpus_home/$prefix-$key-x$scale
  mkdir -p "$corpus_home"
  for old in "$corpus_home/$prefix"-*; do
    case $old in "$corpus_home/$prefix-$key-"*) ;; *) [ -e "$old" ] && rm -rf "$old" ;; esac
  done
  if [ ! -f "$dir/manifest.json" ]; then
    rm -rf "$dir"
    echo "generating $dir (once; later runs reuse it) ..." >&2
    "$py" "$generator" "$dir" --scale "$scale" >&2
  fi
  echo "$dir"
}

# Reads a hyperfine --export-json file and prints, one line per command: name median stddev min (s).
hyperfine_stats() {
  "$py" - "$1" <<'PY'
import json, sys
for r in json.load(open(sys.argv[1]))["results"]:
    print(r["command"], r["median"], r["stddev"] or 0.0, r["min"])
PY
}

# Times taken while other work runs on the machine (a build, a test run) are slower and noisier, and
# not evenly so for every tool: say so next to the figures.
note_load() {
  local load
  read -r load _ </proc/loadavg
  echo "load average before timing: $load"
  if awk -v l="$load" 'BEGIN { exit !(l > 0.5) }'; then
    echo "warning: the machine is busy; figures below are noisier than on an idle machine"
  fi
}

# Median over three runs of the peak resident set (KiB) of a command, from GNU time.
peak_rss() {
  local out
  out=$(mktemp /tmp/spadrim-bench-rss-XXXXXX)
  for _ in 1 2 3; do
    /usr/bin/time -f %M -a -o "$out" "$@" >/dev/null 2>&1 || true
  done
  grep -E '^[0-9]+$' "$out" | sort -n | sed -n 2p
  rm -f "$out"
}

# For the commands NAME... (the caller's command_for NAME sets the array `words`, and $tmp and $runs are
# set): prints each and runs it once, keeping its output in $tmp/out.NAME (a failure ends the
# benchmark); then times them all with hyperfine, median and spread into $tmp/times (hyperfine_stats).
try_then_time() {
  local name hyperfine_args=()
  echo "commands:"
  for name in "$@"; do
    command_for "$name"
    echo "  $name: $(printf '%q ' "${words[@]}")"
    "${words[@]}" >"$tmp/out.$name" 2>"$tmp/err.$name" || { echo "bench: $name failed:" >&2; head "$tmp/err.$name" >&2; exit 1; }
  done
  note_load
  for name in "$@"; do
    command_for "$name"
    hyperfine_args+=(-n "$name" "$(printf '%q ' "${words[@]}")")
  done
  hyperfine -N --style basic --warmup 2 --runs "$runs" --export-json "$tmp/times.json" "${hyperfine_args[@]}"
  hyperfine_stats "$tmp/times.json" >"$tmp/times"
}
