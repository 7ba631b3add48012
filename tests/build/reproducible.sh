#!/usr/bin/env bash
# Builds Kestrune.exe from a copy of the source in another folder, one whose
# path holds ' & and a backtick, and checks that it is byte for byte the
# windows preset's build, and that building there again builds nothing.
#   reproducible.sh SOURCE_DIR WORK_DIR PRESET_EXE
set -euo pipefail
src=$1 copy=$2/"somewhere/it's a&b \`c\`"/kestrune preset_exe=$3
rm -rf "$2" && mkdir -p "$copy"
"$src/scripts/build-release.sh" --copy "$copy"
(cd "$copy" && scripts/build-release.sh --here)
sha256sum "$copy/out/Kestrune.exe" "$preset_exe"
cmp "$copy/out/Kestrune.exe" "$preset_exe" || { echo "not reproducible: the two builds differ" >&2; exit 1; }
echo "reproducible: one executable of $(stat -c %s "$preset_exe") bytes from two folders"
again=$(ninja -C "$copy/out" -n -d explain 2>&1)
[[ $again == *"ninja: no work to do." ]] ||
  { printf 'expected a second build in %s to build nothing, but:\n%s\n' "${copy@Q}" "$again" >&2; exit 1; }
rm -rf "$2"
