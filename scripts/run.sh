#!/usr/bin/env bash
# Runs Kestrune.exe under Wine against this machine's own Java, the way a
# user starts it, with the arguments given, from the current folder. The Java
# home, C:\java-home in the Wine prefix, is registered the way a Java
# installer registers it; JAVA_HOME stays unset for the launcher, so it finds
# the VM through the registry. That home's bin\java.exe only hands on what it
# was started with, its arguments and its folder; this script then runs this
# machine's java with them, as the caller runs a program: with the caller's
# input, output, terminal, environment and signals, each as it is (a closed or
# full one included).
#
#   scripts/run.sh [ARGUMENTS FOR THE VM...]     (none: -version)
#   scripts/run.sh -- [ARGUMENTS FOR THE VM...]  exactly these; none at all shows the JavaVM box
#
# Exits with the VM's status where the launcher started it, otherwise with
# the launcher's (0 after its JavaVM or not-found box, 1 after a failure
# box); 2 where it refused a folder or an argument that Wine cannot pass on
# unchanged; 1 with a line where anything else fails; 130, 143 or 129 at once
# on SIGINT, SIGTERM or SIGHUP before the VM runs (the VM gets those itself,
# and a kill of this script ends it too). Its own lines never stop a run: one
# that cannot be written is dropped. The launcher's boxes appear on $DISPLAY;
# without one, each is printed here and closed.
#
# The first run builds a template prefix (build/run/template-*). A run takes a
# slot (build/run/warm-*, see wine-env.sh): a copy of it whose Wine server, and
# display without a DISPLAY, stay up after the run, so that the next run
# starts the launcher at once; each ends 60 s after the last run in it, and
# scripts/stop-warm.sh ends them all now. Runs side by side each have a slot
# of their own. KESTRUNE_RUN_DIR names another folder than build/run for all
# this. It may be started through a link, and by sh.
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
# started PID: sets since to when the process PID started, or to nothing
# where there is none. (A following run is quick: what it does every time
# reads files with read, not cat, and starts as few programs as it can.)
started() { local s=; read -r s 2>/dev/null </proc/$1/stat; s=(${s##*) }); since=${s[19]-}; }
# pause SECONDS: waits without starting a program: read times out on a pipe
# that never gets a line, open (as 7) only while the launcher is waited for.
pause() { read -r -t "$1" -u 7 _ || true; }
# alive FILE: whether the process FILE names ("PID START ...") still runs.
alive() { local pid start; read -r pid start _ 2>/dev/null <"$1" && started "$pid" && [ "$since" = "$start" ]; }
# space DIR MIB WHAT: fails, naming DIR, where its file system has less than
# MIB MiB or fewer than 2,000 inodes free for WHAT.
space() {
  local free
  free=($(df --output=avail,iavail -k "$1" 2>/dev/null | tail -1)) || return 0
  [ "${free[0]}" -ge $(($2 * 1024)) ] && { [ "${free[1]:--}" = - ] || [ "${free[1]}" -ge 2000 ]; } ||
    fail "${1@Q} is out of space: its file system has $((free[0] / 1024)) MiB and ${free[1]:-?} inodes free, and $3 needs $2 MiB and 2,000"
}

# Its life. A command that may take long runs as a job, in a session of its
# own, and is waited for: bash runs a trap only between commands, so that an
# interrupt ends the run at once, and then the job with all it started. A
# half-made template goes; a slot whose launcher was interrupted has its Wine
# session ended, and its keeper removes it. The locks (9: the run folder's, 8:
# a slot's) are closed for everything started, so that only a run.sh holds
# them.
job= making= slot= vm=
run_job() { setsid "$@" 8>&- 9>&- & job=$!; local status=0; wait "$job" || status=$?; job=; return "$status"; }
cleanup() {
  trap '' INT TERM HUP
  [ -z "$job" ] || kill -TERM -- "-$job" 2>/dev/null || kill -TERM "$job" 2>/dev/null || true
  [ -z "$making" ] || setsid bash -c '. "$0/scripts/wine-env.sh" && stop_prefix "$1"; rm -rf "$1" "$1.owner"' "$root" "$making" \
    </dev/null >/dev/null 2>&1 8>&- 9>&- &
  [ -z "$slot" ] || WINEPREFIX=$slot/prefix wineserver -k 2>/dev/null 8>&- 9>&- || true
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP
if [ "${1-}" = -- ]; then shift; elif [ $# = 0 ]; then set -- -version; fi

# Wine cannot name every folder, nor pass on every byte: it would start the
# VM in C:\windows instead, or with other arguments.
charmap=$(locale charmap)
folder=$(pwd -P)
dos=Z:${folder//\//\\}
unnamable='["*<>|\\?[:cntrl:]]|[. ](/|$)'
[[ ! $folder =~ $unnamable ]] ||
  refuse "Windows cannot name this folder, ${folder@Q} (it holds one of \" * < > | \\ ? or a control character, or a name ends in . or a blank)"
# ascii TEXT...: whether each TEXT is plain ASCII, which every encoding takes as it is.
ascii() { local text; for text; do [[ $text != *[![:ascii:]]* ]] || return 1; done; }
{ ascii "$dos" && dos_length=$((${#dos} * 2 + 2)); } ||
  { dos_length=$(iconv -f "$charmap" -t UTF-16LE <<<"$dos" 2>/dev/null | wc -c) && [ "$dos_length" -gt 0 ]; } ||
  refuse "this folder's name, ${folder@Q}, is not text in this locale's encoding ($charmap)"
[ $((dos_length / 2 - 1)) -le 258 ] ||
  refuse "this folder's name is $((dos_length / 2 - 1)) characters long as Windows names it ($dos), over its limit of 258 for a current folder"
ascii "$@" || printf '%s\n' "$@" | iconv -f "$charmap" -t UTF-16LE >/dev/null 2>&1 || for arg; do
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
note "running $what, build/$preset/Kestrune.exe, in a ${arch#win}-bit Wine prefix, since $why"
java=$(readlink -f "$(command -v java)") || fail "no java on this machine: run scripts/setup.sh"
state=${KESTRUNE_RUN_DIR:-$root/build/run}
# A folder this user cannot write, made by a run as root, say.
dirs=("$root/build" "$state" "$root/build/$preset") && [ -e "$root/build" ] || dirs=("$root")
for dir in "${dirs[@]}"; do
  [ ! -e "$dir" ] || [ -w "$dir" ] || fail "cannot write ${dir@Q}, which belongs to $(stat -c %U "$dir"): have it made yours" \
    "(sudo chown -R $(id -un) ${dir@Q}) or removed, or run this as $(stat -c %U "$dir")"
done

# One run at a time brings the build and the template up to date, takes a
# slot, and clears what killed runs left. A run that waits says for whom.
[ -d "$state" ] || mkdir -p "$state"
exec 9>>"$state/lock"
if ! flock -n 9; then
  other="another run.sh of this checkout"
  alive "$state/holder" 2>/dev/null && read -r pid _ doing <"$state/holder" && other+=" (process $pid, $doing)"
  note "run.sh: waiting for $other; this one goes on by itself once that is done"
  flock 9 & job=$!
  wait "$job"
  job=
fi
started $$ && me="$$ $since"
holding() { echo "$me $*" >"$state/holder" 2>/dev/null || true; }
holding "checking the build"
for old in "$state"/template-*.new.*.owner; do  # a template whose making was killed
  [ ! -e "$old" ] || alive "$old" || { stop_prefix "${old%.owner}" 9>&- && rm -rf "${old%.owner}" "$old"; }
done
for old in "$state"/warm-*; do  # a slot whose keeper was killed
  [ ! -d "$old" ] || alive "$old/keeper" || ! flock -n "$old/lock" true || remove_folder "$old" 9>&-
done
[ -d "$root/build/$preset" ] || run_job bash -c 'cd "$1" && cmake --preset "$2" >/dev/null </dev/null' _ "$root" "$preset" ||
  fail "cannot configure build/$preset"
build=(cmake --build "$root/build/$preset")
[ ! -f "$root/build/$preset/build.ninja" ] || build=(ninja -C "$root/build/$preset")  # the same, 15 ms sooner
run_job "${build[@]}" >"$state/build.log" 2>&1 </dev/null ||
  { cat "$state/build.log" >&2 || true; fail "cannot build build/$preset (the log is above)"; }

# The template: Java registered in a booted prefix. Made beside its place and
# moved there whole, so that a template is complete or absent.
template=$state/template-$arch
# What it is made of: this Wine, this Java and these scripts. For the slots
# only, also which /tmp Wine's sockets are in: a slot's server is reached
# through it, so a new /tmp (of a private mount namespace, say) needs slots of
# its own.
ids=($(stat -L -c %Y.%s "$wine" "$java" "$root/scripts/wine-env.sh" "$0" && stat -c %d.%i /tmp))
stamp="$java ${ids[*]:0:4}"
made= && read -r made 2>/dev/null <"$template/kestrune.stamp" || true
if [ "$made" != "$stamp" ]; then
  note "preparing a Wine prefix in $template (once; it takes 10 to 30 s) ..."
  holding "preparing a Wine prefix"
  version=$("$java" -XshowSettings:properties -version 2>&1 </dev/null | sed -n 's/^ *java\.version = //p')
  [ -n "$version" ] || fail "cannot tell the version of $java"
  rm -rf "$template"
  space "$state" 700 "a Wine prefix"
  making=$template.new.$$
  echo "$me" >"$making.owner"
  run_job bash -c '. "$1/scripts/wine-env.sh" && make_prefix "$2" "$3"' _ "$root" "$making" "$arch" >/dev/null 2>&1 </dev/null ||
    { space "$state" 50 "a Wine prefix"; fail "Wine cannot make a prefix in $making"; }
  run_job env WINEPREFIX="$making" "$wine" reg add "HKLM\\Software\\JavaSoft\\Java Runtime Environment\\$version" \
    /v JavaHome /d 'C:\java-home' /f >/dev/null 2>&1 </dev/null || fail "cannot register Java in $making"
  run_job bash -c '. "$1/scripts/wine-env.sh" && stop_prefix "$2"' _ "$root" "$making"
  mkdir -p "$making/drive_c/java-home/bin"
  echo "Java $version registered at C:\\java-home" >"$making/kestrune.java"
  echo "$stamp" >"$making/kestrune.stamp"
  mv -T "$making" "$template" && rm -f "$making.owner"
  making=
fi

# A slot of this user's for this kind of prefix, display and template, that
# its last run left less than 45 s ago: its server, up for 60 s after that
# run, is still up. Otherwise a new one, whose keeper starts its server.
key="$arch ${DISPLAY:-own} ${ids[4]} $stamp"
printf -v now '%(%s)T' -1
for candidate in "$state/warm-$UID-$arch".*; do
  line= released= && read -r line 2>/dev/null <"$candidate/key" && [ "$line" = "$key" ] || continue
  exec 8>>"$candidate/lock"
  if flock -n 8 && read -r released 2>/dev/null <"$candidate/released" && [ $((now - released)) -lt 45 ]; then
    slot=$candidate && rm "$slot/released" && break
  fi
  exec 8>&-
done
if [ -z "$slot" ]; then
  holding "copying the Wine prefix"
  space "$state" 20 "a copy of the Wine prefix"
  slot=$(mktemp -d "$state/warm-$UID-$arch.XXXXXX")
  exec 8>>"$slot/lock"
  flock 8
  copy_prefix "$template" "$slot/prefix" 2>/dev/null ||
    { rm -rf "$slot" && slot= && space "$state" 20 "a copy of the Wine prefix"; fail "cannot copy $template into $state"; }
  cp "$root/build/$preset/box-watcher.exe" "$slot/prefix/drive_c/"
  # bin\java.exe hands its folder and arguments to this script, and ends.
  printf '#!/bin/bash\nprintf "%%s\\0" "$(pwd -P)" "$@" >%q && mv %q %q\n' "$slot/vm.tmp" "$slot/vm.tmp" "$slot/vm.request" \
    >"$slot/prefix/drive_c/java-home/bin/java.exe"
  chmod +x "$slot/prefix/drive_c/java-home/bin/java.exe"
  echo "$key" >"$slot/key"
  setsid bash -c '. "$0/scripts/wine-env.sh" && keep_slot "$1" "$2"' "$root" "$slot" "$wine" \
    </dev/null >/dev/null 2>"$slot/keeper.log" 8>&- 9>&- &
  started $! && echo "$! $since" >"$slot/keeper"
fi
exec 9>&- 7<> <(:)
until [ -e "$slot/ready" ]; do
  alive "$slot/keeper" || { cat "$slot/keeper.log" >&2 || true; fail "the Wine prefix in $slot did not start (Wine's lines are above)"; }
  pause 0.005
done
for exe in Kestrune.exe box-watcher.exe; do
  [ ! "$root/build/$preset/$exe" -nt "$slot/prefix/drive_c/$exe" ] || cp "$root/build/$preset/$exe" "$slot/prefix/drive_c/"
done
[ ! -e "$slot/vm.request" ] || rm -f "$slot/vm.request"
read -r registered <"$template/kestrune.java"
note "$registered -> $java"

# The box watcher prints the launcher's boxes as they appear. It starts only
# where the launcher has not ended within 0.2 s: a box stands until its OK is
# pressed, and a launcher that starts the VM is not slowed by a second Wine
# program. Wine's own messages are kept apart, and shown only where the
# launcher failed unseen; a command line over Windows' limit is among them.
[ -n "${DISPLAY-}" ] && watch= || { read -r display <"$slot/display" && export DISPLAY=:$display && watch=--press-ok; }
export WINEPREFIX=$slot/prefix
note "running: Kestrune.exe $(quoted "$@")"
: >"$slot/boxes"
WINEDEBUG=-all,err+environ "$wine" 'C:\Kestrune.exe' "$@" >"$slot/wine.log" 2>&1 </dev/null 8>&- &
launcher=$! watcher=
for ((i = 0; i < 100; i++)); do kill -0 "$launcher" 2>/dev/null && pause 0.002 || break; done
kill -0 "$launcher" 2>/dev/null && { "$wine" 'C:\box-watcher.exe' $watch >"$slot/boxes" 2>/dev/null </dev/null 8>&- & watcher=$!; }
status=0
wait "$launcher" || status=$?
[ -z "$watcher" ] || { kill "$watcher" 2>/dev/null; wait "$watcher" 2>/dev/null; } || true
# It started the VM and does not wait for it; this script runs it, in the
# folder and with the arguments bin\java.exe was given.
if [ "$status" = 0 ] && [ ! -s "$slot/boxes" ]; then
  for ((i = 0; i < 15000; i++)); do [ ! -e "$slot/vm.request" ] || break; pause 0.002; done
  [ -e "$slot/vm.request" ] || fail "Kestrune.exe ended as if it had started the VM, but none started within 30 s"
  mapfile -d '' -t request <"$slot/vm.request"
fi
# Nothing needs Wine any more: the slot is left warm for the next run.
printf '%(%s)T\n' -1 >"$slot/released"
exec 7>&-
[ ! -s "$slot/boxes" ] || sed -E 's/^box( with icon)?: /Kestrune.exe showed a box: /' "$slot/boxes" || true
too_long=
[ "$status" = 0 ] || too_long=$(sed -n 's/.*command line too long (\([0-9]*\)).*/\1/p' "$slot/wine.log")
if [ "$status" != 0 ] && [ ! -s "$slot/boxes" ] && [ -z "$too_long" ]; then
  cat "$slot/wine.log" >&2 || true
  note "run.sh: Kestrune.exe ended with exit status $status and showed no box"
fi
slot=
exec 8>&-
[ -z "$too_long" ] ||
  fail "Kestrune.exe's own command line would be $too_long characters, over Windows' limit of 32766 (32767 with its end)"
[ "$status" = 0 ] && [ -z "${request-}" ] && exit 0
[ "$status" = 0 ] || exit "$status"

[ "${request[0]}" = "$folder" ] || fail "the VM would run in ${request[0]}, not in this folder, $folder: not started"
[ "$(quoted "${request[@]:1}")" = "$(quoted "$@")" ] || fail "the VM would get other arguments: $(quoted "${request[@]:1}"): not started"
# The VM ends with this script, however that ends (the kernel sends it
# SIGKILL, as a kill of plain java would), and gets the signals this script
# gets, besides those sent to the whole process group, which reach it anyway.
java_vm() {
  trap - INT QUIT
  for fd in "${closed[@]}"; do eval "exec $fd>&-"; done
  exec setpriv --pdeathsig KILL sh -c 'read -r _ _ _ parent _ </proc/$$/stat && [ "$parent" = "$0" ] && exec "$@"' \
    "$$" env -i "${caller_env[@]}" "$java" "${request[@]:1}"
}
java_vm <&0 &
vm=$!
for signal in INT TERM HUP; do trap "interrupted=1; kill -$signal $vm 2>/dev/null || true" "$signal"; done
while interrupted=; wait "$vm" 2>/dev/null && status=0 || status=$?; [ -n "$interrupted" ]; do :; done
if [ "$status" -gt 128 ] && [ "$status" -le 192 ]; then
  note "run.sh: the Java VM was ended by signal $((status - 128)) ($(kill -l "$status"))"
elif [ "$status" != 0 ]; then
  note "run.sh: the Java VM ended with exit status $status"
fi
exit "$status"
