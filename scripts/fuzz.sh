#!/usr/bin/env bash
# Runs the registry fuzzer and reports executions and coverage.
#
#   scripts/fuzz.sh [SECONDS] [FUZZER]     (default: 600 s; builds the fuzz preset when no FUZZER is named)
#
# The seed corpus in tests/fuzz/corpus is read but never written: new inputs
# go to a temporary folder, and a crash leaves its input in build/fuzz/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-600}
fuzzer=${2:-}
if [ -z "$fuzzer" ]; then
  (cd "$root" && cmake --preset fuzz >/dev/null && cmake --build --preset fuzz >/dev/null)
  fuzzer=$root/build/fuzz/registry-fuzz
fi
artifacts=$(dirname "$fuzzer")
corpus=$(mktemp -d)
trap 'rm -rf "$corpus"' EXIT

log=$corpus/log
status=0
"$fuzzer" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=4096 -print_final_stats=1 \
  -artifact_prefix="$artifacts/" "$corpus" "$root/tests/fuzz/corpus" >"$log" 2>&1 || status=$?

executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
coverage=$(grep -oE 'cov: [0-9]+ ft: [0-9]+' "$log" | tail -1)
echo "fuzzing for ${seconds} s: ${executions:-?} executions (${rate:-?}/s), ${coverage:-no coverage line} (edges and features)"
if [ "$status" -ne 0 ]; then
  grep -E 'Assertion|ERROR|SUMMARY|Test unit written' "$log" >&2 || tail -40 "$log" >&2
  echo "fuzzer failed with status $status" >&2
fi
exit "$status"
