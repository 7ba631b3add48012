#!/usr/bin/env bash
# Builds Kestrune.exe twice, from copies of the source in two different
# folders, and checks that both are byte for byte the same as each other and
# as the windows preset's build.
#   reproducible.sh SOURCE_DIR WORK_DIR [PRESET_EXE]
set -euo pipefail
src=$1 work=$2 preset_exe=${3:-}
rm -rf "$work"
export SOURCE_DATE_EPOCH=$(git -C "$src" log -1 --format=%ct 2>/dev/null || echo 1)

built=()
for name in a somewhere-else/deeper; do
  copy=$work/$name/kestrune
  mkdir -p "$copy"
  (cd "$src" && tar -cf - CMakeLists.txt cmake launcher registry platform resources) | tar -xf - -C "$copy"
  cmake -S "$copy" -B "$copy/out" -DCMAKE_TOOLCHAIN_FILE="$copy/cmake/mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE=MinSizeRel -DKESTRUNE_E2E_HELPERS=OFF >/dev/null
  cmake --build "$copy/out" -j2 >/dev/null
  built+=("$copy/out/Kestrune.exe")
done
[ -n "$preset_exe" ] && built+=("$preset_exe")

sha256sum "${built[@]}"
for exe in "${built[@]:1}"; do
  cmp "${built[0]}" "$exe" || { echo "not reproducible: ${built[0]} and $exe differ" >&2; exit 1; }
done
echo "reproducible: ${#built[@]} builds, one executable of $(stat -c %s "${built[0]}") bytes"
rm -rf "$work"
