#!/usr/bin/env bash
# The Wine side of the end-to-end tests. BUILD is a build preset, windows (the
# 32-bit release) or windows64 (x86-64); SOURCE_DIR is the checkout.
#   wine.sh builds                the builds this machine runs; on stderr, one line saying which and why
#   wine.sh setup STATE_DIR SOURCE_DIR BUILD...
#                                 builds the template prefixes those builds need and the registry
#                                 files the cases import
#   wine.sh case STATE_DIR SOURCE_DIR BUILD CASE BITS
#                                 runs one case with that build in a throwaway copy of the BITS-bit
#                                 template, in a sandbox of its own with a display of its own
#   wine.sh skip REASON           says why a case does not run here; exit 77 (CTest's skip)
#   wine.sh cleanup STATE_DIR     removes it all
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../wine/harness.sh"
# The cases hand Wine non-ASCII text, which it converts through the locale's
# encoding: UTF-8 whatever the caller's locale is.
export LC_ALL=C.UTF-8
state=${2:-}

# template DIR win32|win64: a booted prefix, made in a sandbox of its own,
# whose windows no window manager manages: X11 would wait 2 s for one to take
# each box away. The prefix's server has ended, so its registry file takes
# the setting as written.
template() {
  "${box[@]}" bash "$harness" make_prefix "$1" "$2" >/dev/null 2>&1 </dev/null &&
    printf '\n[Software\\\\Wine\\\\X11 Driver]\n"Managed"="N"\n' >>"$1/user.reg"
}
# on_display PREFIX COMMAND...: COMMAND with WINEPREFIX=PREFIX and a display
# of its own; cold, the prefix's Wine and the display end with it.
on_display() {
  local status=0
  export WINEPREFIX=$1 && start_display && "${@:2}" || status=$?
  cold_end "$1" && kill "${display_PID-}" 2>/dev/null
  return "$status"
}
# The prefixes of the set-up and the cases each live in a sandbox of their own, which ends with this script.
[[ $1 == @(builds|on_display) ]] || { sandbox_refused || :; box --die-with-parent --unshare-net; }

case $1 in
  on_display) "$@" ;;
  builds)
    # Where Wine is missing: every build, and their set-up fails with the same message.
    wine_builds || { echo "windows windows64" && exit; }
    ran="the x86-64 build in a 64-bit Wine prefix only, the 32-bit release's cases skipped"
    [ "$builds" = windows64 ] || ran="the 32-bit release in 32- and 64-bit Wine prefixes and the x86-64 build in a 64-bit one"
    echo "End-to-end: $ran: $why" >&2
    ! sandbox_refused || echo "End-to-end: the cases run without a sandbox, as $refused" >&2
    echo "$builds"
    ;;
  setup)
    shift 3
    wine_builds
    mkdir -p "$state/reg"
    # The 32-bit template only where the 32-bit release runs.
    [[ " $* " != *" windows "* ]] || template "$state/prefix32" win32 & boot32=$!
    template "$state/prefix64" win64
    wait "$boot32"
    cp "$here"/reg/*.reg "$state/reg/"
    jre='HKEY_LOCAL_MACHINE\Software\JavaSoft\Java Runtime Environment'
    # 200 levels deep, a JavaHome at level 50: deeper paths are beyond the ANSI functions.
    { echo REGEDIT4; p=$jre; for i in $(seq 200); do p+='\L'; echo "[$p]"; [ "$i" != 50 ] || echo '"JavaHome"="C:\\level50"'; done; } >"$state/reg/deep.reg"
    # A key x with 32,769 values, too many to search below it.
    { echo REGEDIT4; echo "[$jre\\x]"; seq -f '"v%.0f"="x"' 0 32768; } >"$state/reg/many-x.reg"
    ;;
  case)
    work=$(mktemp -d "$state/case.XXXXXX")
    trap 'rm -rf "$work"' EXIT
    copy_prefix "$state/prefix$6" "$work/prefix"
    build=$3/build/$4
    c=$work/prefix/drive_c driver=$build/tests/e2e/e2e-driver.exe
    mkdir -p "$c/kestrune" "$c/start here"
    cp "$build/Kestrune.exe" "$driver" "$c/kestrune/"
    cp -r "$state/reg" "$c/kestrune/"
    # Java homes with the driver as their VM (dup in every folder the program
    # search looks in, the launcher's first, PATH's last), the decoy
    # C:\Program.exe, and a bin\java.exe that is a folder (C:\folder) or no
    # program (relbad, beside the launcher).
    for home in j2re 'Program Files/Java/j2re' jre142 jre19 {kestrune,'start here',windows/system32,windows/system,windows,'on path'}/dup; do
      mkdir -p "$c/$home/bin" && cp "$driver" "$c/$home/bin/java.exe"
    done
    cp "$driver" "$c/Program.exe"
    cp "$build/tests/e2e/planted.dll" "$c/"
    mkdir -p "$c/folder/bin/java.exe" "$c/kestrune/relbad/bin" && printf x >"$c/kestrune/relbad/bin/java.exe"
    # A case that fails says what it expected and saw, with Wine's own error lines; the driver reads Wine's
    # trace of the DLLs each process loads there too.
    # Now and then (seen once in some 3,000 starts) Wine's loader cannot map its shared user data at its
    # fixed address and ends before the driver runs: the case then runs once more, as it never began.
    trace=$work/wine.log
    for attempt in 1 2; do
      status=0
      "${box[@]}" "$0" on_display "$work/prefix" env WINEDEBUG=-all,err+all,+pid,+loaddll KESTRUNE_TRACE="Z:${trace//\//\\}" \
        "$(wine_loader "$4")" 'C:\kestrune\e2e-driver.exe' "$5" >"$work/out" 2>"$trace" </dev/null || status=$?
      [ "$attempt" = 1 ] && [ "$status" != 0 ] && [ ! -s "$work/out" ] && grep -q 'failed to map the shared user data' "$trace" ||
        break
      echo "Wine could not start the driver ($(grep -m1 -o 'failed to map.*' "$trace")): the case runs once more"
    done
    cat "$work/out"
    [ "$status" = 0 ] && exit
    [ -s "$work/out" ] || echo "FAILED: expected the driver to print \"$5: passed\", but it printed nothing"
    echo "the driver ended with exit status $status; Wine's error lines:" && grep -v ':loaddll:' "$trace"
    exit "$status"
    ;;
  skip) echo "skipped: $2" && exit 77 ;;
  cleanup) rm -rf "$state" ;;
esac
