#!/usr/bin/env bash
# Builds Kestrune.exe and runs it under Wine against this machine's own Java:
# a Java home in the Wine prefix whose bin\java.exe links to the real `java`,
# registered in the prefix's registry the way a Java installer registers it.
# JAVA_HOME stays unset, so the launcher finds the VM through the registry.
#
#   scripts/run.sh [ARGUMENTS FOR THE VM...]      (default: -version)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

# The 32-bit release where this machine runs 32-bit programs; elsewhere the
# x86-64 build of the same source, in a 64-bit prefix, whose registry tools
# write the 64-bit view that build reads.
. scripts/wine-env.sh
wine_choose
echo "running $what, build/$preset/Kestrune.exe, in a ${arch#win}-bit Wine prefix: $why"

cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"

java=$(readlink -f "$(command -v java)") || { echo "no java on this machine: run scripts/setup.sh" >&2; exit 1; }
version=$("$java" -XshowSettings:properties -version 2>&1 | sed -n 's/^ *java\.version = //p')
[ -n "$version" ] || { echo "cannot tell the version of $java" >&2; exit 1; }

# A fresh prefix for every run: nothing is left behind from an earlier one.
export WINEPREFIX=$root/build/run/prefix
mkdir -p "$root/build/run"
echo "preparing a Wine prefix in $WINEPREFIX ..."
make_prefix "$WINEPREFIX" "$arch" >/dev/null 2>&1
home='C:\java-home'
mkdir -p "$WINEPREFIX/drive_c/java-home/bin"
ln -sf "$java" "$WINEPREFIX/drive_c/java-home/bin/java.exe"
"$wine" reg add "HKLM\\Software\\JavaSoft\\Java Runtime Environment\\$version" /v JavaHome /d "$home" /f >/dev/null
cp "build/$preset/Kestrune.exe" "$WINEPREFIX/drive_c/"

[ $# -gt 0 ] || set -- -version
echo "registered Java $version at $home -> $java"
echo "running: Kestrune.exe $*"
if [ -z "${DISPLAY:-}" ]; then
  # Without arguments the launcher shows a box, which needs a display.
  xvfb-run -a "$wine" 'C:\Kestrune.exe' "$@"
else
  "$wine" 'C:\Kestrune.exe' "$@"
fi
# The launcher does not wait for the VM; wait for it here so its output is
# complete before the script ends.
wineserver -w
