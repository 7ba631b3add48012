#!/usr/bin/env bash
# Runs the registry fuzzer and reports executions and coverage.
#
#   scripts/fuzz.sh [SECONDS] [FUZZER]     (default: 600 s; builds the fuzz preset when no FUZZER is named)
#
# Ctrl-C ends it sooner: it then reports the time it ran and what that found,
# and exits 130.
# The seed corpus in tests/fuzz/corpus is read but never written: new inputs
# go to a temporary folder, and a crash leaves its input in build/fuzz/.
set -euo pipefail
root=$(cd -P "$(dirname "$(readlink -f "$0")")/.." && pwd)
seconds=${1:-600}
fuzzer=${2:-}
[[ $seconds =~ ^[0-9]+$ ]] && [ $# -le 2 ] || { echo "usage: scripts/fuzz.sh [SECONDS] [FUZZER]" >&2; exit 2; }
if [ -z "$fuzzer" ]; then
  (cd "$root" && cmake --preset fuzz >/dev/null && cmake --build --preset fuzz >/dev/null)
  fuzzer=$root/build/fuzz/registry-fuzz
fi
artifacts=$(dirname "$fuzzer")
corpus=$(mktemp -d)
trap 'rm -rf "$corpus"' EXIT

log=$corpus/log
status=0 interrupted=0 started=$SECONDS
echo "fuzzing for $seconds s (Ctrl-C ends it sooner) ..."
# Ctrl-C reaches the fuzzer too, which stops and reports.
trap 'interrupted=1' INT
"$fuzzer" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=4096 -print_final_stats=1 \
  -artifact_prefix="$artifacts/" "$corpus" "$root/tests/fuzz/corpus" >"$log" 2>&1 || status=$?

executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
coverage=$(grep -oE 'cov: [0-9]+ ft: [0-9]+' "$log" | tail -1)
found="${executions:-?} executions (${rate:-?}/s), ${coverage:-no coverage line} (edges and features)"
if [ "$interrupted" = 1 ]; then
  echo "fuzzing interrupted after $((SECONDS - started)) s: $found"
  exit 130
fi
echo "fuzzed for $((SECONDS - started)) s: $found"
if [ "$status" -ne 0 ]; then
  grep -E 'Assertion|ERROR|SUMMARY|Test unit written' "$log" >&2 || tail -40 "$log" >&2
  echo "fuzzer failed with status $status" >&2
fi
exit "$status"
