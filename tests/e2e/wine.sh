#!/usr/bin/env bash
# The Wine side of the end-to-end tests. BUILD is i686 (the 32-bit release,
# build/windows) or x86_64 (build/windows64); SOURCE_DIR is the checkout.
#   wine.sh setup STATE_DIR SOURCE_DIR BUILD...
#                                 brings those builds up to date, starts a virtual display, builds
#                                 the template prefixes they need and the registry files the cases import
#   wine.sh case STATE_DIR SOURCE_DIR BUILD CASE BITS
#                                 runs one case with that build in a throwaway copy of the BITS-bit template
#   wine.sh skip REASON           prints why a case does not run here; exit 77 (CTest's skip)
#   wine.sh cleanup STATE_DIR     stops the display and removes it all
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
state=$2

# The build folder of BUILD under SOURCE_DIR.
build_dir() { if [ "$2" = i686 ]; then echo "$1/build/windows"; else echo "$1/build/windows64"; fi; }

case $1 in
  setup)
    src=$3 && shift 3
    wine_present
    command -v Xvfb >/dev/null || { echo "Xvfb is not installed: install the package xvfb (scripts/setup.sh installs it)" >&2; exit 1; }
    # A change to the source reaches every build the cases run, even where
    # only one build folder was rebuilt.
    for build; do cmake --build "$(build_dir "$src" "$build")" >/dev/null; done
    mkdir -p "$state/reg"
    # Xvfb picks a free display and writes its number to fd 3.
    Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$state/display" >/dev/null 2>&1 &
    echo $! >"$state/xvfb.pid"
    boot32=
    [[ " $* " != *" i686 "* ]] || { make_prefix "$state/prefix32" win32 & boot32=$!; }
    make_prefix "$state/prefix64" win64
    [ -z "$boot32" ] || wait "$boot32"
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
    copy_prefix "$state/prefix$6" "$work/prefix"
    build=$(build_dir "$3" "$4")
    c=$work/prefix/drive_c driver=$build/tests/e2e/e2e-driver.exe
    mkdir -p "$c/kestrune"
    cp "$build/Kestrune.exe" "$driver" "$c/kestrune/"
    cp -r "$state/reg" "$c/kestrune/"
    # Java homes with the driver as their VM (relative ones in the system and
    # Windows folders), the decoy C:\Program.exe, and a bin\java.exe that is a
    # folder (C:\folder) or no program (relbad, beside the launcher).
    for home in j2re 'Program Files/Java/j2re' jre142 jre19 windows/{system32/sysjre,system/oldjre,winjre}; do
      mkdir -p "$c/$home/bin" && cp "$driver" "$c/$home/bin/java.exe"
    done
    cp "$driver" "$c/Program.exe"
    mkdir -p "$c/folder/bin/java.exe" "$c/kestrune/relbad/bin" && printf x >"$c/kestrune/relbad/bin/java.exe"
    DISPLAY=:$(tr -d '\n' <"$state/display") WINEPREFIX="$work/prefix" "$(wine_loader "$4")" 'C:\kestrune\e2e-driver.exe' "$5"
    ;;
  skip)
    echo "skipped: $2"
    exit 77
    ;;
  cleanup)
    for bits in 32 64; do WINEPREFIX="$state/prefix$bits" wineserver -k 2>/dev/null || true; done
    kill "$(cat "$state/xvfb.pid")" 2>/dev/null || true
    rm -rf "$state"
    ;;
esac
