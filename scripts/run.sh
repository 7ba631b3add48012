#!/usr/bin/env bash
# Runs Kestrune.exe under Wine against this machine's own Java, the way a
# user starts it, with the arguments given, from the current folder. The Java
# home, C:\java-home in the Wine prefix, is registered the way a Java
# installer registers it; JAVA_HOME stays unset for the launcher, so it finds
# the VM through the registry. That home's bin\java.exe only hands on what it
# was started with, its arguments and its folder; this script then runs this
# machine's java with them, as the caller runs a program: with the caller's
# input, output, terminal and environment, each as it is (a closed or full
# one included).
#
#   scripts/run.sh [ARGUMENTS FOR THE VM...]     (none: -version)
#   scripts/run.sh -- [ARGUMENTS FOR THE VM...]  exactly these; none at all shows the JavaVM box
#
# Exits with the VM's status where the launcher started it, otherwise with
# the launcher's (0 after its JavaVM or not-found box, 1 after a failure
# box); 2 where it refused a folder or an argument that Wine cannot pass on
# unchanged; 1 with a line where anything else fails. Its own lines never
# stop a run: one that cannot be written is dropped. The launcher's boxes
# appear on $DISPLAY; without one, each is printed here and closed. Each run
# copies a booted template prefix (made by the first run) and clears all it
# made once done with it, Ctrl-C included, and what killed runs left behind,
# so runs side by side do not meet. It may be started through a link, and
# by sh.
[ -n "${BASH_VERSION-}" ] || exec bash "$0" "$@"
set -euo pipefail
mapfile -d '' -t caller_env < <(env -0)  # what the VM gets, before this script adds to it
# Input, output and error output that the caller closed are /dev/null for this
# script, so that no file it opens takes their place; the VM gets them closed.
# (Where error output is closed, bash leaves there the script it reads.)
closed=()
for fd in 0 1 2; do
  [ -e "/dev/fd/$fd" ] && [ ! "/dev/fd/$fd" -ef /dev/fd/255 ] || { eval "exec $fd<>/dev/null" && closed+=("$fd"); }
done
root=$(cd -P "$(dirname "$(readlink -f "$0")")/.." && pwd)
. "$root/scripts/wine-env.sh"
note() { printf '%s\n' "$*" >&2 || true; }
fail() { note "run.sh: $*"; exit 1; }
refuse() { note "run.sh: $*: refused, nothing started"; exit 2; }
# quoted ARGS...: the arguments as a shell must be given them, each quoted where it needs to be.
quoted() {
  local arg out=()
  for arg; do [[ $arg =~ ^[A-Za-z0-9_./:=@%+,-]+$ ]] && out+=("$arg") || out+=("${arg@Q}"); done
  echo "${out[*]}"
}
# started PID: when the process PID started, or nothing where there is none.
started() { local s; s=$(cat "/proc/$1/stat" 2>/dev/null) && s=(${s##*) }) && echo "${s[19]}"; }
run= vm=
# discard: stops this run's Wine server and display and removes its folder in
# a process of its own that nothing waits for: a Wine server takes half a
# second to stop. That process owns the folder meanwhile, so that no other run
# clears it.
discard() {
  [ -n "$run" ] || return 0
  setsid bash -c '. "$0/scripts/wine-env.sh" && remove_folder "$1"' "$root" "$run" \
    </dev/null >/dev/null 2>&1 9>&- &
  { echo "$! $(started $!)" >"$run/owner"; } 2>/dev/null || true  # unless that process was done already
  run=
}
cleanup() {
  [ -z "$vm" ] || kill "$vm" 2>/dev/null || true  # a VM still running (Ctrl-C)
  discard
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
if [ "${1-}" = -- ]; then shift; elif [ $# = 0 ]; then set -- -version; fi

# Wine cannot name every folder, nor pass on every byte: it would start the
# VM in C:\windows instead, or with other arguments.
charmap=$(locale charmap)
folder=$(pwd -P)
dos=Z:${folder//\//\\}
unnamable='["*<>|\\?[:cntrl:]]|[. ](/|$)'
[[ ! $folder =~ $unnamable ]] ||
  refuse "Windows cannot name this folder, ${folder@Q} (it holds one of \" * < > | \\ ? or a control character, or a name ends in . or a blank)"
dos_length=$(iconv -f "$charmap" -t UTF-16LE <<<"$dos" 2>/dev/null | wc -c) && [ "$dos_length" -gt 0 ] ||
  refuse "this folder's name, ${folder@Q}, is not text in this locale's encoding ($charmap)"
[ $((dos_length / 2 - 1)) -le 258 ] ||
  refuse "this folder's name is $((dos_length / 2 - 1)) characters long as Windows names it ($dos), over its limit of 258 for a current folder"
printf '%s\n' "$@" | iconv -f "$charmap" -t UTF-16LE >/dev/null 2>&1 || for arg; do
  iconv -f "$charmap" -t UTF-16LE <<<"$arg" >/dev/null 2>&1 ||
    refuse "the argument ${arg@Q} is not text in this locale's encoding ($charmap), so Wine would change it"
done
unbuildable='[;"\\|<>]'
[[ ! $root =~ $unbuildable ]] ||
  fail "Kestrune cannot be built in ${root@Q}: its path holds the character ${BASH_REMATCH[0]}, which CMake cannot take in a path"
if [ -n "${DISPLAY-}" ]; then
  timeout 5 xdpyinfo >/dev/null 2>&1 || fail "cannot reach the display DISPLAY=$DISPLAY (unset DISPLAY to have the boxes printed here)"
fi

# The 32-bit release where this machine runs 32-bit programs; elsewhere the
# x86-64 build of the same source, in a 64-bit prefix, whose registry tools
# write the 64-bit view that build reads.
wine_choose
note "running $what, build/$preset/Kestrune.exe, in a ${arch#win}-bit Wine prefix: $why"
java=$(readlink -f "$(command -v java)") || fail "no java on this machine: run scripts/setup.sh"
# A folder of the build that this user cannot write, made by a run as root, say.
dirs=("$root/build" "$root/build/run" "$root/build/$preset") && [ -e "$root/build" ] || dirs=("$root")
for dir in "${dirs[@]}"; do
  [ ! -e "$dir" ] || [ -w "$dir" ] || fail "cannot write ${dir@Q}, which belongs to $(stat -c %U "$dir"): have it made yours" \
    "(sudo chown -R $(id -un) ${dir@Q}) or removed, or run this as $(stat -c %U "$dir")"
done

# One run at a time brings the build up to date and the template with it, and
# clears what killed runs left: their folder, display, box watcher and Wine server.
mkdir -p "$root/build/run"
exec 9>"$root/build/run/lock"
flock 9
for old in "$root"/build/run/run.*; do
  [ -d "$old" ] || continue
  read -r pid start 2>/dev/null <"$old/owner" && [ "$(started "$pid")" = "$start" ] && continue  # still going
  remove_folder "$old"
done
[ -d "$root/build/$preset" ] || (cd "$root" && cmake --preset "$preset" >/dev/null </dev/null) || fail "cannot configure build/$preset"
cmake --build "$root/build/$preset" >"$root/build/run/build.log" 2>&1 </dev/null ||
  { cat "$root/build/run/build.log" >&2 || true; fail "cannot build build/$preset (the log is above)"; }
template=$root/build/run/template-$arch
stamp="$("$wine" --version) $java $(stat -c %Y "$java") $(cat "$root/scripts/wine-env.sh" "$0" | cksum)"
if [ "$(cat "$template.stamp" 2>/dev/null)" != "$stamp" ]; then
  note "preparing a Wine prefix in $template (once) ..."
  version=$("$java" -XshowSettings:properties -version 2>&1 </dev/null | sed -n 's/^ *java\.version = //p')
  [ -n "$version" ] || fail "cannot tell the version of $java"
  make_prefix "$template" "$arch" >/dev/null 2>&1 </dev/null || fail "Wine cannot make a prefix in $template"
  WINEPREFIX=$template "$wine" reg add "HKLM\\Software\\JavaSoft\\Java Runtime Environment\\$version" \
    /v JavaHome /d 'C:\java-home' /f >/dev/null 2>&1 </dev/null || fail "cannot register Java in $template"
  stop_prefix "$template"
  mkdir -p "$template/drive_c/java-home/bin"
  echo "Java $version registered at C:\\java-home" >"$template.java"
  echo "$stamp" >"$template.stamp"
fi
run=$(mktemp -d "$root/build/run/run.XXXXXX")
echo "$$ $(started $$)" >"$run/owner"
copy_prefix "$template" "$run/prefix"
exec 9>&-
c=$run/prefix/drive_c
cp "$root/build/$preset/Kestrune.exe" "$root/build/$preset/box-watcher.exe" "$c/"

# bin\java.exe hands its folder and arguments to this script, and ends.
cat >"$c/java-home/bin/java.exe" <<EOF
#!/bin/bash
printf '%s\0' "\$(pwd -P)" "\$@" >$(printf %q "$run/vm.tmp") && mv $(printf "%q " "$run/vm.tmp" "$run/vm.request")
EOF
chmod +x "$c/java-home/bin/java.exe"
note "$(cat "$template.java") -> $java"

# The box watcher prints the launcher's boxes as they appear. Wine's own
# messages are kept apart, and shown only where the launcher failed unseen; a
# command line over Windows' limit is among them.
[ -n "${DISPLAY-}" ] && watch= || { start_display "$run" && watch=--press-ok; }
export WINEPREFIX=$run/prefix
start_server "$WINEPREFIX"
"$wine" 'C:\box-watcher.exe' $watch >"$run/boxes" 2>/dev/null </dev/null &
note "running: Kestrune.exe $(quoted "$@")"
status=0
WINEDEBUG=-all,err+environ "$wine" 'C:\Kestrune.exe' "$@" >"$run/wine.log" 2>&1 </dev/null & wait $! || status=$?
sed -E 's/^box( with icon)?: /Kestrune.exe showed a box: /' "$run/boxes" || true
too_long=$(sed -n 's/.*command line too long (\([0-9]*\)).*/\1/p' "$run/wine.log")
[ -z "$too_long" ] ||
  fail "Kestrune.exe's own command line would be $too_long characters, over Windows' limit of 32766 (32767 with its end)"
if [ "$status" != 0 ] && [ ! -s "$run/boxes" ]; then
  cat "$run/wine.log" >&2 || true
  note "run.sh: Kestrune.exe ended with exit status $status and showed no box"
fi
[ "$status" = 0 ] && [ ! -s "$run/boxes" ] || exit "$status"

# It started the VM and does not wait for it; this script runs it, in the
# folder and with the arguments bin\java.exe was given. Nothing needs Wine
# any more.
for i in $(seq 3000); do [ ! -e "$run/vm.request" ] || break; sleep 0.01; done
[ -e "$run/vm.request" ] || fail "Kestrune.exe ended as if it had started the VM, but none started within 30 s"
mapfile -d '' -t request <"$run/vm.request"
discard
[ "${request[0]}" = "$folder" ] || fail "the VM would run in ${request[0]}, not in this folder, $folder: not started"
[ "$(quoted "${request[@]:1}")" = "$(quoted "$@")" ] || fail "the VM would get other arguments: $(quoted "${request[@]:1}"): not started"
java_vm() {
  trap - INT QUIT
  for fd in "${closed[@]}"; do eval "exec $fd>&-"; done
  exec env -i "${caller_env[@]}" "$java" "${request[@]:1}"
}
java_vm <&0 &
vm=$!
wait "$vm" 2>/dev/null && status=0 || status=$?
vm=
if [ "$status" -gt 128 ] && [ "$status" -le 192 ]; then
  note "run.sh: the Java VM was ended by signal $((status - 128)) ($(kill -l "$status"))"
elif [ "$status" != 0 ]; then
  note "run.sh: the Java VM ended with exit status $status"
fi
exit "$status"
