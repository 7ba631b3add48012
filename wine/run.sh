#!/bin/bash
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
#   wine/run.sh [ARGUMENTS FOR THE VM...]     (none: -version)
#   wine/run.sh -- [ARGUMENTS FOR THE VM...]  exactly these; none at all shows the JavaVM box
#
# Exits with the VM's status where the launcher started it, otherwise with
# the launcher's (0 after its JavaVM or not-found box, 1 after a failure
# box); 2 where it refused a folder or an argument that Wine cannot pass on
# unchanged; 1 with a line where anything else fails, a Wine step past its
# time limit or a run ended by wine/stop-warm.sh among them; 130, 143 or
# 129 at once on SIGINT, SIGTERM or SIGHUP before the VM runs (the VM gets
# those itself, and a kill of this script ends it too). Its own lines never
# stop a run: one that cannot be written is dropped. The launcher's boxes
# appear on $DISPLAY; without one, each is printed here and closed.
#
# The first run builds a template prefix (build/run/template-*). A run runs
# the launcher in a slot (build/run/warm-*, harness.sh tells a slot's life): a
# copy of it in a sandbox of its own, whose Wine server, and display without a
# DISPLAY, stay up after the run, so that the next run starts the launcher at
# once; each ends KESTRUNE_WARM_SECONDS (60) after the last run in it, and
# wine/stop-warm.sh ends them all now. Runs side by side each have a slot of
# their own. Where the kernel refuses a sandbox (or KESTRUNE_NO_SANDBOX=1), a
# line says so, and the run is cold: its slot ends with it. Each step that
# waits on Wine has a time limit: 180 s for the template's making, 60 s for
# the rest (a slot's session, the launcher until it asks for the VM or shows
# a box); KESTRUNE_WINE_TIMEOUT sets all of them, in seconds.
# KESTRUNE_RUN_DIR names another folder than build/run for all this. It may be
# started through a link, and by sh.
[ -n "${BASH_VERSION-}" ] || exec bash "$0" "$@"
set -euo pipefail
mapfile -d '' -t caller_env </proc/$$/environ  # what the VM gets: the caller's environment, as it came
# Input, output and error output that the caller closed are /dev/null for this
# script, so that no file it opens takes their place; the VM gets them closed.
# (Where error output is closed, bash leaves there the script it reads.)
closed=()
for fd in 0 1 2; do
  [ -e "/dev/fd/$fd" ] && [ ! "/dev/fd/$fd" -ef /dev/fd/255 ] || { eval "exec $fd<>/dev/null" && closed+=("$fd"); }
done
note() { printf '%s\n' "$*" >&2 || true; }
fail() { note "run.sh: $*"; exit 1; }
refuse() { note "run.sh: $*: refused, nothing started"; exit 2; }
# A following run starts as few programs as it can: every one costs a few ms.
folder= && cd -P . 2>/dev/null && folder=$PWD
[[ $folder == /* ]] || refuse "the current folder no longer exists (it was deleted or moved)"
self=$0 && [[ $self == */* ]] || self=./$self
[ ! -L "$self" ] || self=$(readlink -f "$self")
cd -P "${self%/*}/.." && root=$PWD && cd "$folder"
. "$root/wine/harness.sh"
# quote ARGS...: sets quoted to the arguments as a shell must be given them,
# each after a blank, quoted where it needs to be.
quote() {
  local arg && quoted=
  for arg; do [[ $arg =~ ^[A-Za-z0-9_./:=@%+,-]+$ ]] || arg=${arg@Q}; quoted+=" $arg"; done
}
# space DIR MIB WHAT: fails, naming DIR, where its file system has less than
# MIB MiB or fewer than 2,000 inodes free for WHAT.
space() {
  local free && free=($(df --output=avail,iavail -k "$1" 2>/dev/null | tail -1)) || return 0
  [ "${free[0]}" -ge $(($2 * 1024)) ] && [ "${free[1]/#-/2000}" -ge 2000 ] ||
    fail "${1@Q} is out of space: its file system has $((free[0] / 1024)) MiB and ${free[1]} inodes free, and $3 needs $2 MiB and 2,000"
}

# Its life. A command that may take long runs as a job, in a session of its
# own, and is waited for: bash runs a trap only between commands, so that an
# interrupt ends the run at once, and then the job with all it started. The
# run folder's lock (9) is closed for everything started, so that only a
# run.sh holds it. A run that ends with its slot taken asks the keeper to end
# it (end); one killed outright has it ended all the same, once its lock on
# the slot (8) is free.
job= slot=
run_job() { setsid "$@" 9>&- & job=$!; local status=0; wait "$job" || status=$?; job=; return "$status"; }
trap '[ -z "$job" ] || kill -TERM -- "-$job" 2>/dev/null || kill -TERM "$job" 2>/dev/null
  [ -z "$slot" ] || printf "end\0" 2>/dev/null 1<>"$slot/control" || true' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP
if [ "${1-}" = -- ]; then shift; elif [ $# = 0 ]; then set -- -version; fi

# Wine cannot name every folder, nor pass on every byte: it would start the
# VM in C:\windows instead, or with other arguments.
dos=Z:${folder//\//\\}
unnamable='["*<>|\\?[:cntrl:]]|[. ](/|$)'
[[ ! $folder =~ $unnamable ]] ||
  refuse "Windows cannot name this folder, ${folder@Q} (it holds one of \" * < > | \\ ? or a control character, or a name ends in . or a blank)"
# ascii TEXT...: whether each TEXT is plain ASCII, which every encoding takes as it is.
ascii() { local text; for text; do [[ $text != *[![:ascii:]]* ]] || return 1; done; }
ascii "$dos" "$@" || charmap=$(locale charmap)
{ ascii "$dos" && dos_length=$((${#dos} * 2 + 2)); } ||
  { dos_length=$(iconv -f "$charmap" -t UTF-16LE <<<"$dos" 2>/dev/null | wc -c) && [ "$dos_length" -gt 0 ]; } ||
  refuse "this folder's name, ${folder@Q}, is not text in this locale's encoding ($charmap)"
[ $((dos_length / 2 - 1)) -le 258 ] ||
  refuse "this folder's name is $((dos_length / 2 - 1)) characters long as Windows names it ($dos), over its limit of 258 for a current folder"
ascii "$@" || printf '%s\n' "$@" | iconv -f "$charmap" -t UTF-16LE >/dev/null 2>&1 || for arg; do
  iconv -f "$charmap" -t UTF-16LE <<<"$arg" >/dev/null 2>&1 ||
    refuse "the argument ${arg@Q} is not text in this locale's encoding ($charmap), so Wine would change it"
done
[ -z "${DISPLAY-}" ] || timeout 5 xdpyinfo >/dev/null 2>&1 ||
  fail "cannot reach the display DISPLAY=$DISPLAY (unset DISPLAY to have the boxes printed here)"

# The 32-bit release where this machine runs 32-bit programs; elsewhere the
# x86-64 build of the same source, in a 64-bit prefix, whose registry tools
# write the 64-bit view that build reads.
state=${KESTRUNE_RUN_DIR:-$root/build/run}
[ -d "$state" ] || mkdir -p "$state" 2>/dev/null || true
wine_choose || exit 1
note "running $what, build/$preset/Kestrune.exe, in a ${arch#win}-bit Wine prefix, since $why"
hash java 2>/dev/null || fail "no java on this machine: run scripts/setup.sh"
java=${BASH_CMDS[java]}
# A folder this user cannot write, made by a run as root, say.
dirs=("$root/build" "$state" "$root/build/$preset") && [ -e "$root/build" ] || dirs=("$root")
for dir in "${dirs[@]}"; do
  [ ! -e "$dir" ] || [ -w "$dir" ] || fail "cannot write ${dir@Q}, which belongs to $(stat -c %U "$dir"): have it made yours" \
    "(sudo chown -R $(id -un) ${dir@Q}) or removed, or run this as $(stat -c %U "$dir")"
done
limit=${KESTRUNE_WINE_TIMEOUT:-60}

# One run at a time holds the run folder's lock (9): it removes what is left
# of slots whose sandbox has ended, brings the build and the template up to
# date, and takes a slot. A run that waits says for whom. The lock is tried,
# and what the template is made of (see below) asked, in the background: each
# says so on a pipe (5), which later carries the VM's end (7).
exec 9>>"$state/lock"
exec 5< <(flock -n 9 && echo held || echo busy; stat -L -c %Y.%s.%d.%i "$wine" "$java" "$root/wine/"{harness.sh,java-stand-in.sh,run.sh})
read -r -u 5 lock
if [ "$lock" = busy ]; then
  other="another run.sh of this checkout"
  read -r pid doing 2>/dev/null <"$state/holder" && other+=" (process $pid, $doing)"
  note "run.sh: waiting for $other; this one goes on by itself once that is done"
  flock 9 & job=$! && wait "$job" && job=
fi
holding() { echo "$$ $*" >"$state/holder" 2>/dev/null || true; }
holding "checking the build"
for old in "$state"/warm-*; do flock -n "$old/alive" rm -rf "$old" 2>/dev/null || true; done
[ -f "$root/build/$preset/build.ninja" ] || run_job bash -c 'cd "$1" && cmake --preset "$2" >/dev/null </dev/null' _ "$root" "$preset" ||
  fail "cannot configure build/$preset"
run_job ninja -C "$root/build/$preset" >"$state/build.log" 2>&1 </dev/null ||
  { cat "$state/build.log" >&2 || true; fail "cannot build build/$preset (the log is above)"; }
# cold: once a run, whether Wine must run without a sandbox here, said in a line.
cold() {
  [ -z "${checked-}" ] && checked=yes && sandbox_refused &&
    note "run.sh: $refused; so Wine runs here without a sandbox: no Wine prefix stays warm, and all a run starts ends with it" || true
}

# The template (see harness.sh), made anew for a new Wine, Java or script, in
# a sandbox of its own, which ends with this run, however it ends.
template=$state/template-$arch
mapfile -t ids <&5
stamp="$java ${ids[*]}"
made= && read -r made 2>/dev/null <"$template/kestrune.stamp" || true
if [ "$made" != "$stamp" ]; then
  note "preparing a Wine prefix in $template (once; it takes 10 to 30 s) ..."
  holding "preparing a Wine prefix"
  rm -rf "$template" "$template.new"
  space "$state" 700 "a Wine prefix"
  cold && box --die-with-parent --unshare-net
  status=0
  run_job setpriv --pdeathsig KILL timeout "${KESTRUNE_WINE_TIMEOUT:-180}" env -u DISPLAY "${box[@]}" \
    bash "$harness" make_template "$template" "$arch" "$java" "$stamp" </dev/null >/dev/null 2>"$state/template.log" || status=$?
  if [ "$status" != 0 ]; then
    step= && while read -r line; do step=$line; done <"$state/template.log"
    [ "$status" != 124 ] || fail "preparing the Wine prefix took over ${KESTRUNE_WINE_TIMEOUT:-180} s: it was $step"
    space "$state" 50 "a Wine prefix"
    fail "Wine cannot make a prefix in $template: it failed $step"
  fi
fi
read -r registered <"$template/kestrune.java"
quote "$@"

# The launcher runs in a slot of this user's for this kind of prefix,
# display, warm time, template and build, one that its last run left less
# than 3/4 of the warm time ago (so surely still warm), and whose sandbox
# still runs; otherwise in a new one. attach: reads the slot's events (6),
# which end where nothing of the slot is left to write them. launch ARGS...:
# takes the slot (its lock, 8, is held already) and asks its keeper to start
# the launcher there. Wine's own messages are kept apart, and shown only where
# the launcher failed unseen; a command line over Windows' limit is among
# them.
attach() { exec 7<>"$slot/events" 6<"$slot/events" 7>&-; }
launch() {
  [ -z "$registered" ] || { note "$registered" && note "running: Kestrune.exe$quoted" && registered=; }
  printf '%s\0' "$limit" "$folder" "LANG=${LANG-}" "LC_ALL=${LC_ALL-}" "LC_CTYPE=${LC_CTYPE-}" "$@" >"$slot/request"
  echo "$$" >"$slot/use" && printf 'run\0' 1<>"$slot/control"
}
exes=(Kestrune.exe box-watcher.exe)
built=$(cd "$root/build/$preset" && stat -c %Y.%s "${exes[@]}")
warm=${KESTRUNE_WARM_SECONDS:-60} && key="$arch ${DISPLAY:-own} $warm $stamp ${built//$'\n'/ }"
printf -v now '%(%s)T' -1
for candidate in "$state/warm-$UID-$arch".*; do
  { [ "${KESTRUNE_NO_SANDBOX:-0}" = 0 ] && line= use= time= && read -r line <"$candidate/key" && [ "$line" = "$key" ] &&
    read -r use time <"$candidate/use" &&
    [ "$use" = released ] && [ $((now - time)) -lt $((warm * 3 / 4)) ] && ! flock -n "$candidate/alive" true &&
    exec 8>"$candidate/taken" && flock -n 8; } 2>/dev/null && slot=$candidate && attach && break
done
if [ -z "$slot" ]; then
  holding "copying the Wine prefix"
  space "$state" 20 "a copy of the Wine prefix"
  cold && { [ -n "${DISPLAY-}" ] && box --as-pid-1 || box --as-pid-1 --unshare-net; }
  slot=$(mktemp -d "$state/warm-$UID-$arch.XXXXXX")
  exec 8>"$slot/taken" && flock 8 && echo "$$" >"$slot/use"
  { copy_prefix "$template" "$slot/prefix" && mkfifo "$slot/control" "$slot/events" &&
    (cd "$root/build/$preset" && cp "${exes[@]}" "$slot/prefix/drive_c/"); } 2>/dev/null ||
    { rm -rf "$slot" && slot= && space "$state" 20 "a copy of the Wine prefix"; fail "cannot copy $template into $state"; }
  [ -n "${box[*]}" ] || key+=" cold"  # never taken again
  echo "$key" >"$slot/key"
  WINEPREFIX=$slot/prefix setsid -f "${box[@]}" bash "$harness" keep_slot "$slot" "$wine" 3<>"$slot/control" \
    4<>"$slot/events" 5>>"$slot/alive" </dev/null >/dev/null 2>"$slot/keeper.log" 6>&- 8>&- 9>&-
  attach && status=0 && read -r -d '' -t "$limit" -u 6 event || status=$?
  [ "$status" -le 128 ] || fail "the Wine session in $slot did not come up within $limit s"
  [ "$status" = 0 ] || { cat "$slot/keeper.log" >&2 2>/dev/null || true; fail "the Wine prefix in $slot did not start (Wine's lines are above)"; }
fi
launch "$@"
exec 9>&-

# What the launcher does arrives as events: it ends (end) once it has shown a
# box or started the VM, whose stand-in may ask for it (vm) only after that.
# A box stands until its OK is pressed (the box watcher prints the boxes as
# they appear, and presses OK on the slot's own display), past the time limit
# too.
status= request=
until [ -n "$status" ] && { [ "$status" != 0 ] || [ -n "$request" ] || [ -s "$slot/boxes" ]; }; do
  read -r -d '' -u 6 event ||
    fail "the Wine prefix of this run, in $slot, ended under it (its folder deleted, or its Wine server or keeper ended)"
  case $event in
    end) read -r -d '' -u 6 status ;;
    vm) request=yes ;;
    late) cat "$slot/wine.log" >&2 || true; fail "Kestrune.exe neither asked for the VM nor showed a box within $limit s" ;;
    stopped) fail "wine/stop-warm.sh ended the Wine prefix of this run, in $slot" ;;
  esac
done
# What the launcher did is read; then nothing needs Wine any more, and the
# slot is left warm for the next run.
[ -z "$request" ] || mapfile -d '' -t request <"$slot/vm.request"
shown=$(sed -E 's/^box( with icon)?: /Kestrune.exe showed a box: /' "$slot/boxes")
[ "$status" = 0 ] || wine_log=$(<"$slot/wine.log")
printf 'released %(%s)T\n' -1 >"$slot/use" && exec 6<&- 8>&- && slot=
[ -z "$shown" ] || printf '%s\n' "$shown" || true
if [ "$status" != 0 ]; then
  too_long=$(sed -n 's/.*command line too long (\([0-9]*\)).*/\1/p' <<<"$wine_log")
  [ -z "$too_long" ] ||
    fail "Kestrune.exe's own command line would be $too_long characters, over Windows' limit of 32766 (32767 with its end)"
  [ -n "$shown" ] || { note "$wine_log"; note "run.sh: Kestrune.exe ended with exit status $status and showed no box"; }
  exit "$status"
fi
[ -n "$request" ] || exit 0

# It started the VM and does not wait for it; this script runs it, in the
# folder and with the arguments bin\java.exe was given.
[ "${request[0]}" = "$folder" ] || fail "the VM would run in ${request[0]}, not in this folder, $folder: not started"
same=$((${#request[@]} == $# + 1))
for ((i = 1; i <= $#; i++)); do [ "${request[i]}" = "${!i}" ] || same=0; done
[ "$same" = 1 ] || { quote "${request[@]:1}"; fail "the VM would get other arguments:$quoted: not started"; }
# The VM ends with this script, however that ends (the kernel sends it
# SIGKILL, as a kill of plain java would), and gets the signals this script
# gets, besides those sent to the whole process group, which reach it anyway.
java_vm() {
  trap - INT QUIT
  for fd in "${closed[@]}"; do eval "exec $fd>&-"; done
  exec setpriv --pdeathsig KILL sh -c 'read -r _ _ _ parent _ </proc/$$/stat && [ "$parent" = "$0" ] && exec "$@"' \
    "$$" env -i "${caller_env[@]}" "$java" "${request[@]:1}"
}
# runs PID START: whether the process PID runs still (not a zombie), and is
# the one started at START (a process id comes round again soon).
runs() { local s=; read -r s 2>/dev/null </proc/$1/stat; s=(${s##*) }); [ "${s[0]-Z}" != Z ] && [ "${s[19]-}" = "$2" ]; }
# Its status alone cannot tell exit(137) from SIGKILL: bash's list of jobs,
# written on a pipe (7) as the VM ends, can.
exec 7<>/dev/fd/5 5<&-
trap 'jobs -l >&7' CHLD
java_vm <&0 7>&- &
vm=$! && vm_stat= && { read -r vm_stat </proc/$vm/stat || :; } 2>/dev/null && vm_stat=(${vm_stat##*) })
for signal in INT TERM HUP; do trap "kill -$signal $vm 2>/dev/null || true" "$signal"; done
while runs "$vm" "${vm_stat[19]-}"; do wait "$vm" || true; done
wait "$vm" && status=0 || status=$?
ended= && while read -r -t 0 -u 7 && read -r -u 7 line; do [[ $line != *" $vm "* ]] || ended=${line#*" $vm "}; done
if [ "$status" -gt 128 ] && [ -n "$ended" ] && [[ $ended != *"$status"* ]]; then
  note "run.sh: the Java VM was ended by signal $((status - 128)) ($(kill -l "$status"))"
elif [ "$status" != 0 ]; then
  note "run.sh: the Java VM ended with exit status $status"
fi
exit "$status"
