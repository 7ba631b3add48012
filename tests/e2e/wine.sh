#!/usr/bin/env bash
# The Wine side of the end-to-end tests.
#   wine.sh setup STATE_DIR       starts a virtual display, builds the 32- and 64-bit
#                                 template prefixes and the registry files the cases import
#   wine.sh case STATE_DIR WINDOWS_BUILD_DIR CASE BITS
#                                 runs one case in a throwaway copy of a template prefix
#   wine.sh cleanup STATE_DIR     stops the display and removes it all
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
state=$2

case $1 in
  setup)
    mkdir -p "$state/reg"
    # Xvfb picks a free display and writes its number to fd 3.
    Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$state/display" >/dev/null 2>&1 &
    echo $! >"$state/xvfb.pid"
    make_prefix "$state/prefix32" win32 & boot32=$!
    make_prefix "$state/prefix64" win64
    wait "$boot32"
    [ -s "$state/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
    cp "$here"/reg/*.reg "$state/reg/"
    jre='HKEY_LOCAL_MACHINE\Software\JavaSoft\Java Runtime Environment'
    # 200 levels deep, a JavaHome at level 50: deeper paths are beyond the ANSI functions.
    { echo REGEDIT4; p=$jre; for i in $(seq 200); do p+='\L'; echo "[$p]"; [ "$i" != 50 ] || echo '"JavaHome"="C:\\level50"'; done; } >"$state/reg/deep.reg"
    # A key x with 32,769 values, too many to search below it.
    { echo REGEDIT4; echo "[$jre\\x]"; seq -f '"v%.0f"="x"' 0 32768; } >"$state/reg/many-x.reg"
    ;;
  case)
    work=$(mktemp -d "$state/case.XXXXXX")
    trap 'WINEPREFIX="$work/prefix" wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
    copy_prefix "$state/prefix$5" "$work/prefix"
    c=$work/prefix/drive_c driver=$3/tests/e2e/e2e-driver.exe
    mkdir -p "$c/kestrune"
    cp "$3/Kestrune.exe" "$driver" "$c/kestrune/"
    cp -r "$state/reg" "$c/kestrune/"
    # Java homes with the driver as their VM (relative ones in the system and
    # Windows folders), the decoy C:\Program.exe, and a bin\java.exe that is a
    # folder (C:\folder) or no program (relbad, beside the launcher).
    for home in j2re 'Program Files/Java/j2re' jre142 jre19 windows/{system32/sysjre,system/oldjre,winjre}; do
      mkdir -p "$c/$home/bin" && cp "$driver" "$c/$home/bin/java.exe"
    done
    cp "$driver" "$c/Program.exe"
    mkdir -p "$c/folder/bin/java.exe" "$c/kestrune/relbad/bin" && printf x >"$c/kestrune/relbad/bin/java.exe"
    DISPLAY=:$(tr -d '\n' <"$state/display") WINEPREFIX="$work/prefix" wine 'C:\kestrune\e2e-driver.exe' "$4"
    ;;
  cleanup)
    for bits in 32 64; do WINEPREFIX="$state/prefix$bits" wineserver -k 2>/dev/null || true; done
    kill "$(cat "$state/xvfb.pid")" 2>/dev/null || true
    rm -rf "$state"
    ;;
esac
