#!/usr/bin/env bash
# Test fixture: stops the virtual display and removes the template prefixes.
#   cleanup.sh STATE_DIR
set -uo pipefail
state=$1
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
for prefix in "$state/prefix32" "$state/prefix64"; do
  [ -d "$prefix" ] && WINEPREFIX="$prefix" wineserver -k 2>/dev/null
done
[ -f "$state/xvfb.pid" ] && kill "$(cat "$state/xvfb.pid")" 2>/dev/null
rm -rf "$state"
exit 0
