#!/usr/bin/env bash
# Checks what Kestrune.exe must be, with packaged tools: binutils' objdump,
# icoutils' wrestool and icotool, libxml2's xmllint.
#   pe-check.sh Kestrune.exe
# A 32-bit GUI program without link timestamp, with ASLR (DYNAMIC_BASE,
# relocations kept), DEP (NX_COMPAT), the Terminal-Server-aware mark and the
# mark of a program that registers no exception handler on its stack
# (NO_SEH), no section both writable and executable, imports from Windows
# system DLLs only; stack cookies in every object of its own (read from the
# linker map beside it, Kestrune.map, and the objects it names) and the
# toolchain's libssp linked in; its resources: the manifest (well-formed,
# asInvoker), the icon group of three images and the version resource, in
# German. Prints each failed check; exit 1 if any.
set -uo pipefail
exe=$1 failed=0
expect() {  # WHAT ACTUAL EXPECTED
  [ "$2" = "$3" ] || { printf 'FAILED: %s\n  expected: %s\n  actual:   %s\n' "$1" "$3" "$2"; failed=1; }
}
headers=$(i686-w64-mingw32-objdump -p "$exe") || exit 1
field() { sed -n "s/^$1[[:space:]]*//p" <<<"$headers" | tr '\t' ' '; }
expect "32-bit x86" "$(sed -n 's/.*file format //p' <<<"$headers")" pei-i386
expect "GUI subsystem" "$(field Subsystem)" "00000002 (Windows GUI)"
expect "no link timestamp" "$(field 'Time\/Date')" "Thu Jan  1 00:00:00 1970"
expect "ASLR, DEP, Terminal-Server-aware" "$(field DllCharacteristics) $(grep -oE 'DYNAMIC_BASE|NX_COMPAT|NO_SEH|TERMINAL_SERVICE_AWARE|relocations stripped' <<<"$headers" | tr '\n' ' ')" "00008540 DYNAMIC_BASE NX_COMPAT NO_SEH TERMINAL_SERVICE_AWARE "
expect "system DLLs only" "$(sed -n 's/^\tDLL Name: //p' <<<"$headers" | tr a-z A-Z | sort | tr '\n' ' ')" "ADVAPI32.DLL KERNEL32.DLL MSVCRT.DLL "
map=${exe%.exe}.map
own=$(sed -n 's/^LOAD \([^/].*\.\(obj\|a\)\)$/\1/p' "$map" | (cd "$(dirname "$exe")" && xargs -r i686-w64-mingw32-nm -A -u) |
  sed -n 's/^\([^ ]*\): *U ___stack_chk_guard$/\1/p' | tr '\n' ' ')
expect "stack cookies in its own objects" "$own" "CMakeFiles/Kestrune.dir/platform/windows.cpp.obj libkestrune_logic.a:launcher.cpp.obj libkestrune_logic.a:regHelper.cpp.obj "
expect "libssp linked statically" "$(grep -c '^/.*/libssp\.a(ssp\.o)$' "$map")" 1
expect "no writable code" "$(i686-w64-mingw32-objdump -h "$exe" | grep CODE | grep -v READONLY)" ""

expect "resources" "$(wrestool -l "$exe" | sed 's/ \[.*//' | tr '\n' ' ')" "--type=3 --name=1 --language=1031 --type=3 --name=2 --language=1031 --type=3 --name=3 --language=1031 --type=14 --name=1 --language=1031 --type=16 --name=1 --language=1031 --type=24 --name=1 --language=0 "
expect "icons" "$(wrestool -x -t 14 "$exe" | icotool -l - | tr '\n' ' ')" "--icon --index=1 --width=32 --height=32 --bit-depth=1 --palette-size=2 --icon --index=2 --width=32 --height=32 --bit-depth=4 --palette-size=16 --icon --index=3 --width=16 --height=16 --bit-depth=4 --palette-size=16 "
level=$(wrestool -x --raw -t 24 -n 1 "$exe" | xmllint --xpath 'string(//*[local-name()="requestedExecutionLevel"]/@level)' -)
expect "manifest well-formed, asInvoker" "$level" asInvoker
version() { wrestool -x --raw -t 16 "$exe"; }
# The fixed part: signature, structure version, file and product version
# 1.0.0.0, flags mask, no flags, OS Windows32, file type application.
expect "fixed version information" "$(version | od -A n -t x1 -j 40 -N 40 | tr -d ' \n')" bd04effe00000100000001000000000000000100000000003f000000000000000400000001000000
expect "version strings" "$(version | strings -el -n 3 | tr '\n' ' ')" "VS_VERSION_INFO StringFileInfo 040704B0 FileVersion 1.00 ProductVersion 1.00 ProductName Kestrune InternalName Kestrune OriginalFilename Kestrune.exe VarFileInfo Translation "
expect "translation German, Unicode" "$(version | tail -c 4 | od -A n -t x1 | tr -d ' \n')" 0704b004
[ "$failed" = 0 ] && echo "$exe: all checks passed"
exit "$failed"
