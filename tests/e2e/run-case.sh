#!/usr/bin/env bash
# Runs one end-to-end case in a throwaway copy of a template prefix.
#   run-case.sh STATE_DIR WINDOWS_BUILD_DIR CASE [win32|win64]
set -euo pipefail
state=$1 build=$2 case=$3 arch=${4:-win32}
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"

work=$(mktemp -d "$state/case.XXXXXX")
prefix=$work/prefix
cleanup() {
  WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

copy_prefix "$state/prefix${arch#win}" "$prefix"
dest=$prefix/drive_c/kestrune
mkdir -p "$dest/reg"
cp "$build/Kestrune.exe" "$build/tests/e2e/e2e-driver.exe" "$build/tests/e2e/java.exe" "$dest/"
cp "$here"/reg/*.reg "$dest/reg/"

DISPLAY=$(cat "$state/display") WINEPREFIX="$prefix" wine 'C:\kestrune\e2e-driver.exe' "$case"
