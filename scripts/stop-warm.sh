#!/usr/bin/env bash
# Ends at once what scripts/run.sh keeps warm for this checkout and this user:
# each slot's Wine server, with every Wine program in it, and its display; the
# slot's keeper then removes the slot. A run still using a slot ends with it.
# Waits until they are gone, 10 s at most.
#   scripts/stop-warm.sh
[ -n "${BASH_VERSION-}" ] || exec bash "$0" "$@"
set -euo pipefail
root=$(cd -P "$(dirname "$(readlink -f "$0")")/.." && pwd)
. "$root/scripts/wine-env.sh"
state=${KESTRUNE_RUN_DIR:-$root/build/run}
slots=("$state/warm-$UID"-*)
[ -e "${slots[0]}" ] || { echo "stop-warm.sh: nothing of run.sh's is warm in $state"; exit 0; }
for slot in "${slots[@]}"; do WINEPREFIX=$slot/prefix wineserver -k 2>/dev/null || true; done
gone() { local slot; for slot in "${slots[@]}"; do [ ! -e "$slot" ] || return 1; done; }
for ((i = 0; i < 100; i++)); do gone && break; sleep 0.1; done
# Keepers that were killed leave their slots: removed here.
for slot in "${slots[@]}"; do [ ! -e "$slot" ] || remove_folder "$slot"; done
echo "stop-warm.sh: ended ${#slots[@]} warm Wine prefix(es) of run.sh in $state"
