#!/usr/bin/env bash
# Ends at once what wine/run.sh keeps warm for this checkout and this user:
# each slot's sandbox, with all it runs (harness.sh tells a slot's life). A
# run still using a slot ends with it, and says so.
#   wine/stop-warm.sh
[ -n "${BASH_VERSION-}" ] || exec bash "$0" "$@"
set -euo pipefail
root=$(cd -P "$(dirname "$(readlink -f "$0")")/.." && pwd)
state=${KESTRUNE_RUN_DIR:-$root/build/run}
slots=("$state/warm-$UID"-*)
[ -e "${slots[0]}" ] || { echo "stop-warm.sh: nothing of run.sh's is warm in $state"; exit 0; }
# Each keeper is asked to end; once nothing of its sandbox holds alive, the
# folder goes too (a killed keeper left it).
for slot in "${slots[@]}"; do
  { printf 'stop\0' 1<>"$slot/control" && flock -w 10 "$slot/alive" true; rm -rf "$slot"; } 2>/dev/null &
done
wait
echo "stop-warm.sh: ended ${#slots[@]} warm Wine prefix(es) of run.sh in $state"
