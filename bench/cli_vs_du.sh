#!/usr/bin/env bash
# Time and peak memory of `spadrim-cli --json` next to `du -s` on the same generated tree, measured in
# one run on a warm cache. Not part of the test command.
#   bench/cli_vs_du.sh [FILES] [RUNS]      (defaults: 200000 files, 5 runs each)
set -euo pipefail
cd "$(dirname "$0")/.."
files=${1:-200000}
runs=${2:-5}
command -v /usr/bin/time >/dev/null || { [ "$(id -u)" -eq 0 ] && apt-get install -y -qq time >/dev/null || sudo apt-get install -y -qq time; }
{ cmake --preset linux && cmake --build --preset linux --target spadrim-cli; } >/dev/null

tree=$(mktemp -d /tmp/spadrim-bench-XXXXXX)
trap 'rm -rf "$tree"' EXIT
echo "generating $files files in $tree ..."
python3 - "$tree" "$files" <<'PY'
import os, random, sys
root, count = sys.argv[1], int(sys.argv[2])
rng = random.Random(1)
folders = [root]
for i in range(count // 40):
    path = os.path.join(rng.choice(folders), f"d{i}")
    os.mkdir(path)
    folders.append(path)
for i in range(count):
    with open(os.path.join(rng.choice(folders), f"f{i}.{rng.choice(['jpg', 'txt', 'log', 'bin'])}"), "wb") as f:
        f.write(b"x" * rng.randrange(0, 2000))
PY

# Median wall time (s) and the peak resident set (KiB) of the median run.
measure() {
  local label=$1; shift
  "$@" >/dev/null 2>&1  # warm the cache
  local results=()
  for _ in $(seq "$runs"); do
    /usr/bin/time -f '%e %M' -o "$tree.time" "$@" >/dev/null 2>&1
    results+=("$(tail -n 1 "$tree.time")")
  done
  printf '%s\n' "${results[@]}" | sort -n | sed -n "$(( (runs + 1) / 2 ))p" | {
    read -r seconds kib
    printf '%-28s %8.3f s %10d KiB\n' "$label" "$seconds" "$kib"
    echo "$seconds $kib" > "$tree.$label"
  }
}

measure du /usr/bin/du -s "$tree"
measure spadrim-cli build/linux/spadrim-cli --json "$tree"
measure spadrim-cli-1-thread build/linux/spadrim-cli --json --threads 1 "$tree"
read -r du_s du_kib < "$tree.du"
read -r cli_s cli_kib < "$tree.spadrim-cli"
rm -f "$tree".*
awk -v a="$cli_s" -v b="$du_s" -v m="$cli_kib" -v n="$du_kib" \
  'BEGIN { printf "spadrim-cli / du: time %.2fx, peak memory %.2fx\n", (b > 0 ? a / b : 0), (n > 0 ? m / n : 0) }'
