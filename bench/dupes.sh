#!/usr/bin/env bash
# Duplicate-finding benchmark: checks `spadrim-cli --duplicates` against an answer worked out
# independently (bench/check_dupes.py: SHA-256 of whole files of 1 MiB and more, hard links as one file),
# then times it beside jdupes, rdfind and fdupes with hyperfine, all in one run on the same generated
# corpus (bench/gen_dupes.py: about 2 GB, made once under /tmp and reused), on a warm cache; then
# spadrim-cli and jdupes again on a cold cache, the page cache dropped before every run (this needs root
# or sudo, and slows whatever else runs on the machine for a moment). Cold, the 2 GB are read from the
# disk in a second or more per tool, long enough to stand well above the noise. Prints MATCH or the
# differences, the tables and each time ratio to jdupes next to its target. Exits 1 when spadrim-cli
# fails, differs from the expected sets or has no --duplicates. Not part of the test command.
#   bench/dupes.sh                RUNS=5 warm and COLD_RUNS=3 cold timed runs per tool by default;
#                                 COLD_RUNS=0 leaves the cold case out; SCALE=0.1 for a small corpus
set -euo pipefail
# shellcheck source=bench/common.sh
source "$(dirname "$0")/common.sh"
runs=${RUNS:-5}
cold_runs=${COLD_RUNS:-3}
scale=${SCALE:-1}

install_packages hyperfine jdupes rdfind fdupes time python3
build_cli
corpus=$(corpus_for "$bench_dir/gen_dupes.py" "$scale")/corpus

tmp=$(mktemp -d /tmp/spadrim-bench-dupes-XXXXXX)
trap 'rm -rf "$tmp"' EXIT
# rdfind writes results.txt into its working folder: every timed command runs in this one.
mkdir "$tmp/work"

echo "tools: $(jdupes -v | head -n 1); $(rdfind -v 2>&1 | head -n 1); $(fdupes -v); $(hyperfine --version)"
echo "corpus: $corpus ($(du -sh --apparent-size "$corpus" | cut -f1) apparent, $(find "$corpus" -type f | wc -l) names)"
echo "expected answer (bench/check_dupes.py) ..."
"$py" "$bench_dir/check_dupes.py" "$corpus" >"$tmp/expected"
tail -n 1 "$tmp/expected"

status=0
cli_ready=0
cli_words=("$cli" --duplicates --json --top 0 "$corpus")
echo "spadrim-cli: $(printf '%q ' "${cli_words[@]}")"
if (cd "$tmp/work" && "${cli_words[@]}") >"$tmp/report.json" 2>"$tmp/cli.err"; then
  if "$py" "$bench_dir/check_dupes.py" "$corpus" "$tmp/report.json"; then
    cli_ready=1
  else
    status=1
    cli_ready=1  # still timed: how fast the wrong answer came is worth seeing
  fi
else
  code=$?
  status=1
  if grep -q -- 'unknown option: --duplicates' "$tmp/cli.err"; then
    echo "FAILED: this spadrim-cli has no --duplicates option yet, so its check and timing are skipped;"
    echo "        the other tools are still timed below."
  else
    echo "FAILED: spadrim-cli exited with $code:"
    head -n 20 "$tmp/cli.err"
  fi
fi

# The peers must finish cleanly too; their set counts (they look at files of every size, spadrim-cli
# at 1 MiB and up) are shown for reference.
peers=(jdupes rdfind fdupes)
command_for() {
  case $1 in
    spadrim-cli) words=("${cli_words[@]}") ;;
    jdupes) words=(jdupes -r -q "$corpus") ;;
    rdfind) words=(rdfind -dryrun true "$corpus") ;;
    fdupes) words=(fdupes -r -q "$corpus") ;;
  esac
}
for tool in "${peers[@]}"; do
  command_for "$tool"
  if ! (cd "$tmp/work" && "${words[@]}") >"$tmp/out.$tool" 2>"$tmp/err.$tool"; then
    echo "bench: $tool failed on the corpus:" >&2
    head -n 20 "$tmp/err.$tool" >&2
    exit 1
  fi
done
echo "for reference, sets of every size: jdupes $(grep -c '^$' "$tmp/out.jdupes" || true)," \
     "fdupes $(grep -c '^$' "$tmp/out.fdupes" || true)," \
     "rdfind $(grep -v '^#' "$tmp/work/results.txt" | awk '$1 == "DUPTYPE_FIRST_OCCURRENCE"' | wc -l)"
rm -f "$tmp/work/results.txt"

note_load
tools=("${peers[@]}")
[ "$cli_ready" -eq 1 ] && tools=(spadrim-cli "${peers[@]}")
hyperfine_args=()
for tool in "${tools[@]}"; do
  command_for "$tool"
  hyperfine_args+=(-n "$tool" "$(printf '%q ' "${words[@]}")")
done
(cd "$tmp/work" && hyperfine -N --style basic --warmup 1 --runs "$runs" --export-json "$tmp/times.json" \
   "${hyperfine_args[@]}")
hyperfine_stats "$tmp/times.json" >"$tmp/times"

# Cold: what a first look at a folder costs, the files read from the disk. Only spadrim-cli and jdupes,
# the one to beat: the others take many seconds each from a cold cache.
drop_caches="sh -c 'sync; echo 3 > /proc/sys/vm/drop_caches'"
[ "$(id -u)" -eq 0 ] || drop_caches="sudo -n $drop_caches"
: >"$tmp/cold"
if [ "$cold_runs" -gt 0 ] && [ "$cli_ready" -eq 1 ]; then
  if eval "$drop_caches" 2>/dev/null; then
    echo
    echo "cold cache: the page cache dropped before each run"
    note_load
    cold_args=()
    for tool in spadrim-cli jdupes; do
      command_for "$tool"
      cold_args+=(-n "$tool" "$(printf '%q ' "${words[@]}")")
    done
    (cd "$tmp/work" && hyperfine -N --style basic --runs "$cold_runs" --prepare "$drop_caches" \
       --export-json "$tmp/cold.json" "${cold_args[@]}")
    hyperfine_stats "$tmp/cold.json" >"$tmp/cold"
  else
    echo "cold cache: not measured (dropping the page cache needs root or sudo without a password)"
  fi
fi

"$py" - "$tmp/times" "$runs" "$cli_ready" "$tmp/cold" "$cold_runs" <<'PY'
import sys
def read(path):
    return {line.split()[0]: [float(x) for x in line.split()[1:]] for line in open(path)}
times, cold = read(sys.argv[1]), read(sys.argv[4])
runs, cli_ready, cold_runs = sys.argv[2], sys.argv[3] == "1", sys.argv[5]
def table(times, tools, note):
    print()
    print("%-12s %10s %9s %9s" % ("tool", "median", "± sd", "min"))
    for tool in tools:
        if tool in times:
            median, sd, fastest = times[tool]
            print("%-12s %8.3f s %7.3f s %7.3f s" % (tool, median, sd, fastest))
        else:
            print("%-12s %10s" % (tool, "not run"))
    print(note)
table(times, ("spadrim-cli", "jdupes", "rdfind", "fdupes"),
      "(warm cache: median of %s hyperfine runs after 1 warm-up run)" % runs)
if cold:
    table(cold, ("spadrim-cli", "jdupes"),
          "(cold cache: median of %s runs, the page cache dropped before each)" % cold_runs)
print()
def ratio(name, times, target):
    r = times["spadrim-cli"][0] / times["jdupes"][0]
    print("spadrim-cli / jdupes time, %s %5.2f   (target <= %.2f)  %s"
          % (name, r, target, "ok" if r <= target else "MISSED"))
if cli_ready:
    ratio("warm", times, 0.80)
    if cold:
        ratio("cold", cold, 1.00)
    else:
        print("spadrim-cli / jdupes time, cold    --   (target <= 1.00)  not measured")
else:
    print("spadrim-cli / jdupes time   --    (target <= 0.80 warm)  pending: spadrim-cli has no working --duplicates")
PY
exit "$status"
