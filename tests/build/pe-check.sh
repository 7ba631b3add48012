#!/usr/bin/env bash
# Checks what Kestrune.exe, the 32-bit release or its x86-64 twin, must be,
# with packaged tools: binutils' objdump, LLVM's readobj and nm, icoutils'
# wrestool and icotool, libxml2's xmllint.
#   pe-check.sh Kestrune.exe
# A GUI program without link timestamp, with ASLR (DYNAMIC_BASE, relocations
# kept; HIGH_ENTROPY_VA on x86-64), DEP (NX_COMPAT), the Terminal-Server-aware
# mark, on 32-bit the mark of a program that registers no exception handler
# on its stack (NO_SEH), and Control Flow Guard: the GUARD_CF mark and a load
# configuration of Windows 8.1's size holding the check pointer (on x86-64
# the dispatch pointer too), each naming code in .text, the table of valid
# targets with its count, the flags of an instrumented image with that table
# (0x500), and no security cookie; no section both writable and executable,
# imports from Windows system DLLs only; stack cookies in every object of its
# own (read from the linker map beside it, Kestrune.map, and the objects it
# names) and the toolchain's libssp linked in; its resources: the manifest
# (well-formed, asInvoker), the icon group of three images and the version
# resource, in German. Prints each failed check; exit 1 if any.
set -uo pipefail
exe=$1 failed=0
expect() {  # WHAT ACTUAL EXPECTED
  [ "$2" = "$3" ] || { printf 'FAILED: %s\n  expected: %s\n  actual:   %s\n' "$1" "$3" "$2"; failed=1; }
}
headers=$(objdump -p "$exe") || exit 1
field() { sed -n "s/^$1[[:space:]]*//p" <<<"$headers" | tr '\t' ' '; }
marks() { grep -oE 'HIGH_ENTROPY_VA|DYNAMIC_BASE|NX_COMPAT|NO_SEH|GUARD_CF|TERMINAL_SERVICE_AWARE|relocations stripped' <<<"$headers" | tr '\n' ' '; }
format=$(sed -n 's/.*file format //p' <<<"$headers")
case $format in
  pei-i386) marks="0000c540 DYNAMIC_BASE NX_COMPAT NO_SEH GUARD_CF TERMINAL_SERVICE_AWARE " size=0x5C width=4 ;;
  pei-x86-64) marks="0000c160 HIGH_ENTROPY_VA DYNAMIC_BASE NX_COMPAT GUARD_CF TERMINAL_SERVICE_AWARE " size=0x94 width=8 ;;
  *) expect "a Windows program" "$format" "pei-i386 or pei-x86-64"; exit 1 ;;
esac
expect "GUI subsystem" "$(field Subsystem)" "00000002 (Windows GUI)"
expect "no link timestamp" "$(field 'Time\/Date')" "Thu Jan  1 00:00:00 1970"
expect "ASLR, DEP, Terminal-Server-aware, Control Flow Guard" "$(field DllCharacteristics) $(marks)" "$marks"
expect "system DLLs only" "$(sed -n 's/^\tDLL Name: //p' <<<"$headers" | tr a-z A-Z | sort | tr '\n' ' ')" "ADVAPI32.DLL KERNEL32.DLL MSVCRT.DLL "

# The load configuration, and the code each of its pointers names.
config=$(llvm-readobj --coff-load-config "$exe")
load() { sed -n "s/^ *$1:* *\[* *(*\(0x[0-9A-Fa-f]*\|[0-9]*\).*/\1/p" <<<"$config" | head -1; }
text=($(objdump -h "$exe" | awk '$2 == ".text" {print $4, $3}'))
code() {  # VA: whether the pointer at VA names an address in .text
  local at=$(($1)) bytes
  bytes=$(objdump -s --start-address=$at --stop-address=$((at + width)) "$exe" | tail -1 | awk '{print $2 $3}')
  local value=0 i; for ((i = width * 2 - 2; i >= 0; i -= 2)); do value=$((value * 256 + 16#${bytes:i:2})); done
  ((value >= 16#${text[0]} && value < 16#${text[0]} + 16#${text[1]})) && echo code || echo "not code ($value)"
}
expect "load configuration size" "$(load Size)" "$size"
expect "check pointer names code" "$(code "$(load GuardCFCheckFunction)")" code
if [ "$width" = 4 ]; then expect "no dispatch pointer" "$(load GuardCFCheckDispatch)" 0x0
else expect "dispatch pointer names code" "$(code "$(load GuardCFCheckDispatch)")" code; fi
count=$(load GuardCFFunctionCount)
expect "function table and its count" "$(load GuardCFFunctionTable | grep -vx 0x0 | wc -l) $count" "1 $(sed -n '/^GuardFidTable/,/^\]/p' <<<"$config" | grep -c '^  0x')"
[ "${count:-0}" -gt 0 ] || expect "valid targets" "$count" "more than 0"
expect "guard flags" "$(load GuardFlags)" 0x500
expect "no security cookie" "$(load SecurityCookie)" 0x0

map=${exe%.exe}.map build=$(dirname "$exe")
own=$(sed -n 's/^[0-9a-f]* *[0-9a-f]* *[0-9]* *\([^ /][^ ]*\.obj\):(.*/\1/p' "$map" | sort -u | tr '\n' ' ')
cookies=$(cd "$build" && llvm-nm -A -u CMakeFiles/Kestrune.dir/platform/windows.cpp.obj libkestrune_logic.a |
  sed -n 's/^\(libkestrune_logic.a:\)*\([^ ]*\): *U _*stack_chk_guard$/\2/p' | sort | tr '\n' ' ')
expect "stack cookies in its own objects" "$own/ $cookies" "CMakeFiles/Kestrune.dir/platform/windows.cpp.obj launcher.cpp.obj regHelper.cpp.obj / $own"
expect "libssp linked statically" "$(grep -A1 ' ssp\.o:(\.text)$' "$map" | grep -c ' _*stack_chk_fail$')" 1
expect "no writable code" "$(objdump -h "$exe" | grep CODE | grep -v READONLY)" ""

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
