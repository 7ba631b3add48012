#!/usr/bin/env bash
# Measures Kestrune and writes docs/performance.md: its text is
# bench/performance.md.in, where envsubst puts in the figures measured here:
#  - the executable's size and what it is made of (from the linker map);
#  - the registry search on the in-memory registry (Google Benchmark);
#  - under Wine, in a sandbox of its own with one persistent server: the
#    launcher's start through JAVA_HOME and through the registry beside an
#    empty Windows program and the stand-in VM started directly, and the
#    lookup over a 1,000-key JavaSoft subtree against Wine's own
#    `reg query /s` (Wine's reg has no /f) (hyperfine);
#  - the main job, wine/run.sh -version: first runs, and a following run
#    against its floor.
# Under Wine it runs the 32-bit release where the machine runs 32-bit
# programs, elsewhere the x86-64 build in a 64-bit prefix; the figures name
# the build they came from. Nothing here passes or fails on a time.
#   bench/run.sh
set -euo pipefail
root=$(cd -P "$(dirname "$(readlink -f "$0")")/.." && pwd)
cd "$root"
work=build/bench
. wine/harness.sh
wine_choose
# fine NAME HYPERFINE_ARGUMENTS...: hyperfine's table of NAME, in build/bench/NAME.md.
fine() { hyperfine --style basic --export-markdown "$work/$1.md" "${@:2}" >"$work/$1.txt" 2>&1; }
if [ "${1-}" = --under-wine ]; then
  export WINEPREFIX=$root/$work/prefix KESTRUNE_RECORD='C:\bench\record.txt'
  make_prefix "$WINEPREFIX" "$arch" >/dev/null 2>&1 && mkdir -p "$WINEPREFIX/drive_c/bench/bin"
  cp "build/$preset/Kestrune.exe" "$work/empty.exe" "$WINEPREFIX/drive_c/"
  cp "build/$preset/tests/e2e/e2e-driver.exe" "$WINEPREFIX/drive_c/bench/bin/java.exe"  # the end-to-end driver plays the VM
  wineserver -p >/dev/null 2>&1 </dev/null  # one server for all runs, as on a running Windows
  jre='HKLM\Software\JavaSoft\Java Runtime Environment'
  "$wine" reg add "$jre\\1.8" /v JavaHome /d 'C:\bench' /f >/dev/null 2>&1
  fine start --warmup 3 --runs 30 -n "an empty Windows program" "$wine 'C:\\empty.exe'" \
    -n "stand-in java.exe -version directly" "KESTRUNE_RECORD='C:\\bench\\direct.txt' $wine 'C:\\bench\\bin\\java.exe' -version" \
    -n "Kestrune.exe -version, JAVA_HOME set" "JAVA_HOME='C:\\bench' $wine 'C:\\Kestrune.exe' -version" \
    -n "Kestrune.exe -version, through the registry (one runtime)" "$wine 'C:\\Kestrune.exe' -version"
  "$wine" reg delete "$jre" /f >/dev/null 2>&1
  for i in $(seq 1 1000); do
    printf '\n[HKEY_LOCAL_MACHINE\\Software\\JavaSoft\\Java Runtime Environment\\1.%d]\n"JavaHome"="C:\\\\bench"\n"RuntimeLib"="C:\\\\bench\\\\bin\\\\client\\\\jvm.dll"\n' "$i"
  done | sed '1i REGEDIT4' >"$WINEPREFIX/drive_c/bench.reg"
  "$wine" regedit /S 'C:\bench.reg'
  "$wine" reg query 'HKLM\Software\JavaSoft' /s 2>/dev/null | grep -c '^HKEY' >"$work/keys" || true
  fine lookup --warmup 3 --runs 30 -n "Kestrune.exe -version (registry lookup + start)" "$wine 'C:\\Kestrune.exe' -version" \
    -n "reg query HKLM\\Software\\JavaSoft /s" "$wine reg query 'HKLM\\Software\\JavaSoft' /s"
  exit
fi
echo "under Wine: $what, build/$preset/Kestrune.exe: $why"
echo "building ..."
mkdir -p "$work"
for p in windows $preset; do cmake --preset $p >/dev/null && cmake --build --preset $p >/dev/null; done
cmake -S bench -B "$work/host" >/dev/null && cmake --build "$work/host" -j2 >/dev/null
cc=x86_64-w64-mingw32-gcc && [ "$arch" = win64 ] || cc=i686-w64-mingw32-gcc
printf 'int mainCRTStartup(void) { return 0; }\n' | $cc -x c - -nostdlib -s -o "$work/empty.exe"
exe=build/windows/Kestrune.exe

# ---- Size ----
export size=$(stat -c %s "$exe") && export kib=$((size / 1024))
export sections=$(i686-w64-mingw32-objdump -h "$exe" | awk '/^ +[0-9]+ \./ {print $2, $3}' |
  while read -r name hex; do printf '| %s | %d |\n' "$name" "$((16#$hex))"; done)
# Contributions by input file to code, read-only data and unwind tables
# (LLD's map: address, size, alignment, then FILE:(SECTION)).
export contributors=$(awk 'NF == 4 && $4 ~ /:[(][.](text|rdata|eh_frame)/ { sub(/:[(].*/, "", $4); print $2, $4 }' "${exe%.exe}.map" |
  while read -r hex file; do echo "$((16#$hex)) ${file##*/}"; done |
  awk '{ sum[$2] += $1 } END { for (f in sum) print sum[f], f }' | sort -rn | sed -n 1,8p |
  while read -r bytes file; do printf '| %s | %d |\n' "$file" "$bytes"; done)

echo "registry search benchmark ..."
export search=$("$work/host/search-bench" 2>/dev/null | grep -E '^(Benchmark|searchTree)')

echo "Wine benchmarks ..."
box --die-with-parent --unshare-net && "${box[@]}" bash bench/run.sh --under-wine

# ---- The main job: wine/run.sh -version, as a user runs it ----
echo "main job ..."
# Each first run starts without build/run, its warm prefixes ended first.
fine main-first --time-unit second --runs 3 --prepare 'wine/stop-warm.sh >/dev/null; rm -rf build/run' \
  -n "wine/run.sh -version, first run (builds the template prefix)" 'wine/run.sh -version'
# A following run against its floor: an empty Windows program (it only
# returns) started in the same warm prefix (entering its sandbox), plus java
# -version. In alternating triples, so that all three meet the same load: the
# medians, and the median of the triples' ratios.
wine/run.sh -version >/dev/null 2>&1
slot=$(ls -td "$root/build/run/warm-$UID-$arch".* | head -1) && cp "$work/empty.exe" "$slot/prefix/drive_c/"
keeper=$(pgrep -of "^bash .*keep_slot $slot ")
export runs=21 load=$(cut -d' ' -f1-3 /proc/loadavg)
triples=$(for i in $(seq $runs); do
  a=${EPOCHREALTIME/./} && wine/run.sh -version >/dev/null 2>&1 && b=${EPOCHREALTIME/./} &&
    nsenter -t "$keeper" -a --preserve-credentials env WINEPREFIX="$slot/prefix" "$wine" 'C:\empty.exe' &&
    c=${EPOCHREALTIME/./} && java -version >/dev/null 2>&1 && echo "$((b - a)) $((c - b)) $((${EPOCHREALTIME/./} - c))"
done)
median() { sort -n | sed -n "$((runs / 2 + 1))p"; }
for column in 1:run 2:empty 3:java; do
  export "${column#*:}_ms=$(($(awk "{print \$${column%:*}}" <<<"$triples" | median) / 1000))"
done
export floor_ratio=$(awk '{printf "%.2f\n", $1 / ($2 + $3)}' <<<"$triples" | median)
wine/stop-warm.sh >/dev/null

for group in start lookup main-first; do export "${group//-/_}_table=$(<"$work/$group.md")"; done
export machine="$(nproc) cores ($(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')), $(free -g |
  awk '/^Mem/ {print $2}') GiB, Debian $(cat /etc/debian_version), $("$wine" --version), $("$(sed -n 's/^set(CMAKE_CXX_COMPILER "\(.*\)")$/\1/p' build/windows/CMakeFiles/*/CMakeCXXCompiler.cmake)" --version | head -1)"
export date=$(date -u +%Y-%m-%d) what preset why bits=${arch#win} keys=$(<"$work/keys")
envsubst "$(grep -o '${[a-z_]*}' bench/performance.md.in | sort -u | tr '\n' ' ')" <bench/performance.md.in >docs/performance.md
echo "wrote docs/performance.md"
