#!/usr/bin/env bash
# Ends at once what scripts/run.sh keeps warm for this checkout and this user:
# each slot, with its Wine server, every Wine program in it, its display, its
# keeper and its socket folder. A run still using a slot ends with it, and
# says so.
#   scripts/stop-warm.sh
[ -n "${BASH_VERSION-}" ] || exec bash "$0" "$@"
set -euo pipefail
root=$(cd -P "$(dirname "$(readlink -f "$0")")/.." && pwd)
. "$root/scripts/wine-env.sh"
state=${KESTRUNE_RUN_DIR:-$root/build/run}
slots=("$state/warm-$UID"-*)
[ -e "${slots[0]}" ] || { echo "stop-warm.sh: nothing of run.sh's is warm in $state"; exit 0; }
for slot in "${slots[@]}"; do
  ! alive "$slot/use" || { read -r pid _ <"$slot/use" && kill -USR1 "$pid"; } 2>/dev/null || true
  end_slot "$slot" &
done
wait
echo "stop-warm.sh: ended ${#slots[@]} warm Wine prefix(es) of run.sh in $state"
