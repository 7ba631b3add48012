#!/usr/bin/env bash
# Test fixture: starts a virtual display and builds the template prefixes the
# end-to-end cases copy.
#   setup.sh STATE_DIR
set -euo pipefail
state=$1
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"

mkdir -p "$state"
# Xvfb picks a free display and writes its number to fd 3.
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$state/display.out" >"$state/xvfb.log" 2>&1 &
echo $! >"$state/xvfb.pid"
for _ in $(seq 100); do [ -s "$state/display.out" ] && break; sleep 0.1; done
[ -s "$state/display.out" ] || { echo "Xvfb did not start" >&2; cat "$state/xvfb.log" >&2; exit 1; }
echo ":$(tr -d '\n' <"$state/display.out")" >"$state/display"

make_prefix "$state/prefix32" win32 &
boot32=$!
make_prefix "$state/prefix64" win64 &
boot64=$!
wait "$boot32"
wait "$boot64"
echo "display $(cat "$state/display"), prefixes ready"
