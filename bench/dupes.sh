#!/usr/bin/env bash
# Duplicate-finding benchmark: checks `spadrim-cli --duplicates` against an answer worked out
# independently (bench/check_dupes.py: SHA-256 of whole files of 1 MiB and more, hard links as one file),
# then times it beside jdupes, rdfind and fdupes with hyperfine, all in one run on the same generated
# corpus (bench/gen_dupes.py: about 2 GB, made once under /tmp and reused), on a warm cache. Prints MATCH
# or the differences, a table and the time ratio to jdupes next to its target. Exits 1 when spadrim-cli
# fails, differs from the expected sets or has no --duplicates. Not part of the test command.
#   bench/dupes.sh                RUNS=5 timed runs per tool by default; SCALE=0.1 for a small corpus
set -euo pipefail
# shellcheck source=bench/common.sh
source "$(dirname "$0")/common.sh"
runs=${RUNS:-5}
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

"$py" - "$tmp/times" "$runs" "$cli_ready" <<'PY'
import sys
times = {line.split()[0]: [float(x) for x in line.split()[1:]] for line in open(sys.argv[1])}
runs, cli_ready = sys.argv[2], sys.argv[3] == "1"
print()
print("%-12s %10s %9s %9s" % ("tool", "median", "± sd", "min"))
for tool in ("spadrim-cli", "jdupes", "rdfind", "fdupes"):
    if tool in times:
        median, sd, fastest = times[tool]
        print("%-12s %8.3f s %7.3f s %7.3f s" % (tool, median, sd, fastest))
    else:
        print("%-12s %10s" % (tool, "not run"))
print("(median of %s hyperfine runs after 1 warm-up run)" % runs)
print()
if cli_ready:
    ratio = times["spadrim-cli"][0] / times["jdupes"][0]
    print("spadrim-cli / jdupes time %5.2f   (target <= 1.00)  %s" % (ratio, "ok" if ratio <= 1.0 else "MISSED"))
else:
    print("spadrim-cli / jdupes time   --    (target <= 1.00)  pending: spadrim-cli has no working --duplicates")
PY
exit "$status"
