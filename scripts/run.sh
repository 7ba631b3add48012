#!/usr/bin/env bash
# Runs Kestrune.exe under Wine against this machine's own Java, the way a
# user starts it: from the current folder, which the VM runs in too (so
# relative paths in the arguments resolve there), with the arguments given.
# The Java home, C:\java-home in the Wine prefix, is registered the way a
# Java installer registers it, and its bin\java.exe runs this machine's java;
# JAVA_HOME stays unset, so the launcher finds the VM through the registry.
#
#   scripts/run.sh [ARGUMENTS FOR THE VM...]     (none: -version)
#   scripts/run.sh -- [ARGUMENTS FOR THE VM...]  exactly these; none at all shows the JavaVM box
#
# Exits with the VM's status where the launcher started it, otherwise with
# the launcher's (0 after its JavaVM or not-found box, 1 after a failure box).
# The launcher's boxes appear on $DISPLAY; without one, each is printed here
# and closed. Each run copies a booted template prefix (made by the first
# run) and removes all it made when it ends, Ctrl-C included, so runs side
# by side do not meet.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/wine-env.sh"
fail() { echo "run.sh: $*" >&2; exit 1; }
# quoted ARGS...: the arguments as a shell must be given them, each quoted where it needs to be.
quoted() {
  local arg out=()
  for arg; do [[ $arg =~ ^[A-Za-z0-9_./:=@%+,-]+$ ]] && out+=("$arg") || out+=("'${arg//\'/\'\\\'\'}'"); done
  echo "${out[*]}"
}
run=
cleanup() {
  [ -n "$run" ] || return 0
  [ ! -s "$run/vm.pid" ] || kill $(cat "$run/vm.pid") 2>/dev/null || true  # a VM still running (Ctrl-C)
  stop_prefix "$run/prefix"
  stop_display "$run"
  rm -rf "$run"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
if [ "${1-}" = -- ]; then shift; elif [ $# = 0 ]; then set -- -version; fi

# The 32-bit release where this machine runs 32-bit programs; elsewhere the
# x86-64 build of the same source, in a 64-bit prefix, whose registry tools
# write the 64-bit view that build reads.
wine_choose
echo "running $what, build/$preset/Kestrune.exe, in a ${arch#win}-bit Wine prefix: $why" >&2
java=$(readlink -f "$(command -v java)") || fail "no java on this machine: run scripts/setup.sh"

# One run at a time brings the build up to date and the template with it.
mkdir -p "$root/build/run"
exec 9>"$root/build/run/lock"
flock 9
[ -d "$root/build/$preset" ] || (cd "$root" && cmake --preset "$preset" >/dev/null) || fail "cannot configure build/$preset"
cmake --build "$root/build/$preset" >"$root/build/run/build.log" 2>&1 ||
  { cat "$root/build/run/build.log" >&2; fail "cannot build build/$preset (the log is above)"; }
template=$root/build/run/template-$arch
stamp="$("$wine" --version) $java $(stat -c %Y "$java")"
if [ "$(cat "$template.stamp" 2>/dev/null)" != "$stamp" ]; then
  echo "preparing a Wine prefix in $template (once) ..." >&2
  version=$("$java" -XshowSettings:properties -version 2>&1 | sed -n 's/^ *java\.version = //p')
  [ -n "$version" ] || fail "cannot tell the version of $java"
  make_prefix "$template" "$arch" >/dev/null 2>&1 || fail "Wine cannot make a prefix in $template"
  WINEPREFIX=$template "$wine" reg add "HKLM\\Software\\JavaSoft\\Java Runtime Environment\\$version" \
    /v JavaHome /d 'C:\java-home' /f >/dev/null 2>&1 || fail "cannot register Java in $template"
  stop_prefix "$template"
  mkdir -p "$template/drive_c/java-home/bin"
  echo "Java $version registered at C:\\java-home" >"$template.java"
  echo "$stamp" >"$template.stamp"
fi
run=$(mktemp -d "$root/build/run/run.XXXXXX")
copy_prefix "$template" "$run/prefix"
exec 9>&-
c=$run/prefix/drive_c
cp "$root/build/$preset/Kestrune.exe" "$root/build/$preset/tests/e2e/e2e-driver.exe" "$c/"

# bin\java.exe: this machine's java with this script's input, output and
# error output (Wine starts a Linux program with none of them), leaving its
# process ids and its exit status here. The output goes through pipes, not
# this script's files, so nothing written to them is overwritten.
in=/proc/$$/fd/0
[ -e "$in" ] || in=/dev/null
mkfifo "$run/out" "$run/err"
cat >"$c/java-home/bin/java.exe" <<EOF
#!/bin/bash
echo \$\$ >$(printf %q "$run/vm.pid")
exec <$(printf %q "$in") >$(printf %q "$run/out") 2>$(printf %q "$run/err")
$(printf %q "$java") "\$@" & echo \$! >>$(printf %q "$run/vm.pid")
wait \$!; echo \$? >$(printf %q "$run/vm.status")
EOF
chmod +x "$c/java-home/bin/java.exe"
echo "$(cat "$template.java") -> $java" >&2

# The driver of the end-to-end tests prints the launcher's boxes as they appear.
# Wine's own messages (from these programs and from the Wine programs they
# start, such as the desktop, which complains when Ctrl-C ends the display
# first) are kept apart, and shown only where the launcher failed unseen.
[ -n "${DISPLAY-}" ] && watch=--watch || { start_display "$run" && watch=--watch-pressing-ok; }
export WINEPREFIX=$run/prefix
"$wine" 'C:\e2e-driver.exe' $watch >"$run/boxes" 2>/dev/null &
echo "running: Kestrune.exe $(quoted "$@")" >&2
status=0
"$wine" 'C:\Kestrune.exe' "$@" 2>"$run/wine.log" & wait $! || status=$?
sed -E 's/^box( with icon)?: /Kestrune.exe showed a box: /' "$run/boxes"
if [ "$status" = 0 ] && [ ! -s "$run/boxes" ]; then
  # It started the VM and does not wait for it; this script does.
  for i in $(seq 300); do [ ! -s "$run/vm.pid" ] || break; sleep 0.1; done
  [ -s "$run/vm.pid" ] || fail "Kestrune.exe ended as if it had started the VM, but none started within 30 s"
  cat "$run/out" &
  out=$!
  cat "$run/err" >&2 &
  wait "$out" $!
  status=$(cat "$run/vm.status" 2>/dev/null) || fail "the Java VM ended without an exit status"
  rm "$run/vm.pid"
  [ "$status" = 0 ] || echo "run.sh: the Java VM ended with exit status $status" >&2
elif [ "$status" != 0 ] && [ ! -s "$run/boxes" ]; then
  cat "$run/wine.log" >&2
  echo "run.sh: Kestrune.exe ended with exit status $status and showed no box" >&2
fi
exit "$status"
