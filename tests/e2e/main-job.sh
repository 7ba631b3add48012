#!/usr/bin/env bash
# The main job as a user drives it: wine/run.sh started from a folder of the
# user's, not the checkout, whose name holds a blank and a non-ASCII letter.
# It runs a jar there by a relative path, which reads a file there by a
# relative path too, so the VM ran in that folder; the VM reads the script's
# input, through a pipe and at a terminal (where it has a console), and gets
# the caller's environment, not the script's display; its output arrives on
# the script's output and its exit status is the script's, or a line names
# the signal that ended it, and neither a start by sh through a link nor
# closed or full output stops it. A folder Windows cannot name is refused, and
# so is a deleted one. Without arguments, the launcher's box arrives as a line
# of output. A VM's exit(137) is not called a signal. A run that waits for
# another says so; a missing TMPDIR stops no run and reaches the VM as it was.
#
# Its life: nothing of a slot (no Wine program, keeper, display, socket
# folder) is left within 5 s of what ends it, each waited for as an event or
# a bounded poll: the warm time with its server stopped; its keeper killed
# with -9; run.sh killed with -9 with its children while the VM runs (the VM
# ends too); its server ended by a neighbour (SIGTERM, SIGKILL);
# stop-warm.sh, which the run names; Ctrl-C 2.5 s into the template's making
# and SIGINT, SIGTERM and SIGHUP while the launcher waits, each ending the
# run within 0.5 s; a stopped server past a 2 s time limit; the run folder
# deleted while warm and within 0.1 s of a slot's making. No prefix names a
# socket folder. The cold path (KESTRUNE_NO_SANDBOX=1) works, takes no warm slot, and leaves
# nothing. And a first run from a copy of the checkout whose path holds every
# character the docs allow, as a plain user where this runs as root.
#   main-job.sh SOURCE_DIR WORK_DIR
set -euo pipefail
export LC_ALL=C.UTF-8 FOO=bar  # Java reads a non-ASCII folder name only in a UTF-8 locale
unset DISPLAY
src=$1 work=$2/"app folder ä" run=$1/wine/run.sh
export KESTRUNE_RUN_DIR=$2/state  # a template and slots of its own
rm -rf "$2" && mkdir -p "$work/q?dir" && cd "$work"
echo 'public class App { public static void main(String[] a) throws Exception {
  if (a[0].equals("kill")) new ProcessBuilder("kill", "-9", "" + ProcessHandle.current().pid()).start().waitFor();
  if (a[0].equals("sleep")) { System.out.println("started"); Thread.sleep(3000); System.out.println("outlived"); }
  System.out.println(java.nio.file.Files.readString(java.nio.file.Path.of(a[0])).trim() + ", input "
    + new String(System.in.readAllBytes()).trim() + ", console " + (System.console() != null) + ", FOO "
    + System.getenv("FOO") + ", DISPLAY " + System.getenv("DISPLAY") + ", TMPDIR " + System.getenv("TMPDIR"));
  System.exit(Integer.parseInt(a[1])); } }' >App.java
javac App.java && jar cfe app.jar App App.class && echo "read in the user's folder" >greeting.txt
failed() { echo "FAILED: $*"; exit 1; }
sockets=$(ls -d /tmp/wine-* 2>/dev/null || :)
# until_ SECONDS COMMAND...: waits for COMMAND to succeed, SECONDS at most.
until_() { local i; for ((i = 0; i < $1 * 10; i++)); do "${@:2}" && return; sleep 0.1; done; failed "waited $1 s for: ${*:2}"; }
# Nothing of the runs' Wine is left (every process a slot starts carries its
# prefix in its environment), no socket folder is new in /tmp, no lock held.
left() {
  ! grep -qsza "^WINEPREFIX=$KESTRUNE_RUN_DIR" /proc/[0-9]*/environ && [ "$(ls -d /tmp/wine-* 2>/dev/null || :)" = "$sockets" ] &&
    { [ ! -e "$KESTRUNE_RUN_DIR" ] || flock -n "$KESTRUNE_RUN_DIR/lock" true; }
}
# slot SIGNAL: sends SIGNAL to the keepers, or with -server to the Wine servers, of the warm slots.
slot() {
  local env pid
  for env in $(grep -lzsa "^WINEPREFIX=$KESTRUNE_RUN_DIR/warm-" /proc/[0-9]*/environ); do
    pid=${env//[^0-9]/} && case $(tr '\0' ' ' 2>/dev/null </proc/$pid/cmdline) in
      "bash "*" keep_slot "*) [ "${2-}" = -server ] || kill "$1" "$pid" ;;
      *"wineserver"*" -p0 -p ") [ "${2-}" != -server ] || kill "$1" "$pid" ;;
    esac
  done
}
made() { compgen -G "$KESTRUNE_RUN_DIR/warm-*" >/dev/null; }  # a slot's folder is there
said() { [ "$(tail -1 "$work/err")" = "$1" ] || failed "expected the line: $1 (saw: $(tail -1 "$work/err"))"; }
check() {  # EXIT_STATUS OUTPUT ARGUMENTS...: run.sh's error output is left in $work/err
  local output status=0
  output=$("$run" "${@:3}" 2>"$work/err") || status=$?
  echo "run.sh ${*:3}: exit $status: $output"
  [ "$status" = "$1" ] && [ "$output" = "$2" ] || failed "expected exit $1 and: $2 ($(tail -1 "$work/err"))"
}
# signal SIGNAL STATUS WHAT: SIGNAL to run.sh's process group, which ends it with STATUS within 0.5 s.
signal() {
  local took status=0 started
  kill "-$1" -- "-$!" && started=${EPOCHREALTIME/./} && wait $! || status=$?
  took=$(((${EPOCHREALTIME/./} - started) / 1000)) && echo "run.sh $3, SIG$1: exit $status after $took ms"
  [ "$status" = "$2" ] && [ "$took" -lt 500 ] || failed "expected exit $2 within 500 ms"
  until_ 5 left
}
# Ctrl-C (SIGINT to the process group) 2.5 s into the template's making.
setsid env --default-signal=INT "$run" -version 2>err & until_ 120 grep -q preparing err
sleep 2.5 && signal INT 130 "preparing Wine"
# A run that waits for another says so, and goes on; Wine works without the caller's TMPDIR, the VM gets it.
flock "$KESTRUNE_RUN_DIR/lock" sleep 2 & sleep 0.2
printf 'piped\n' | TMPDIR=/nonexistent check 42 \
  "read in the user's folder, input piped, console false, FOO bar, DISPLAY null, TMPDIR /nonexistent" -jar app.jar greeting.txt 42
grep -q "^run.sh: waiting for another run.sh of this checkout.*; this one goes on by itself" err || failed "no waiting line"
[ -z "$(ls "$KESTRUNE_RUN_DIR"/template-*/wineserver "$KESTRUNE_RUN_DIR"/warm-*/prefix/wineserver 2>/dev/null)" ] ||
  failed "a prefix names a socket folder"
output=$(printf 'typed\n\004' | script -qec "$(printf %q "$run") -jar app.jar greeting.txt 0" /dev/null | tr -d '\r')
echo "run.sh at a terminal: $output"
[[ $output == *"read in the user's folder, input typed, console true, FOO bar, DISPLAY null, TMPDIR "* ]] ||
  failed "the VM did not read the terminal, or had no console"
check 137 '' -jar app.jar kill 0 </dev/null
said 'run.sh: the Java VM was ended by signal 9 (KILL)'
TMPDIR=/tmp check 137 "read in the user's folder, input , console false, FOO bar, DISPLAY null, TMPDIR /tmp" \
  -jar app.jar greeting.txt 137 </dev/null
said 'run.sh: the Java VM ended with exit status 137'
# By sh, through a link, with output closed and error output full: the VM still runs, and its status is the run's.
ln -s "$run" kestrune-run && status=0 && sh kestrune-run -jar app.jar greeting.txt 7 </dev/null >&- 2>/dev/full || status=$?
echo "sh kestrune-run (a link to run.sh) >&- 2>/dev/full: exit $status"
[ "$status" = 7 ] || failed "expected exit 7, the VM's own"
(cd 'q?dir' && check 2 '' -version)
grep -q "Windows cannot name this folder" err || failed "no line naming the refused folder"
mkdir gone && (cd gone && rmdir ../gone && check 2 '' -version)
said "run.sh: the current folder no longer exists (it was deleted or moved): refused, nothing started"
check 0 'Kestrune.exe showed a box: JavaVM: C:\java-home\bin\javaw.exe' --
grep -qx 'running: Kestrune.exe' err || failed "expected the line: running: Kestrune.exe"

# Nothing of a slot outlives what ends it; slots stay warm 3 s here.
export KESTRUNE_WARM_SECONDS=3
"$src/wine/stop-warm.sh" >/dev/null && until_ 5 left
check 0 '' -version && slot -STOP -server && until_ 8 left && echo "the warm time with its server stopped: nothing left"
check 0 '' -version && slot -KILL && until_ 5 left && echo "its keeper killed with -9: nothing left"
for signal in TERM KILL; do
  check 0 '' -version && slot "-$signal" -server && until_ 5 left && echo "its Wine server ended with SIG$signal: nothing left"
done
"$run" -jar app.jar sleep 0 >out 2>&1 </dev/null & until_ 30 grep -q started out
pkill -KILL -P $! && kill -KILL $! && until_ 8 left
! grep -q outlived out || failed "the VM outlived run.sh"
echo "run.sh and its children killed with -9 while the VM ran: the VM ended, nothing left"
check 0 '' -version && slot -STOP -server && { "$run" -version 2>err & } && until_ 10 grep -qs "^$!$" "$KESTRUNE_RUN_DIR"/warm-*/use
"$src/wine/stop-warm.sh" && status=0 && wait $! || status=$?
[ "$status" = 1 ] && grep -q "^run.sh: wine/stop-warm.sh ended the Wine prefix of this run" err ||
  failed "expected exit 1 and a line naming stop-warm.sh, saw exit $status and: $(tail -1 err)"
until_ 5 left && echo "stop-warm.sh during a run: exit 1, said so, nothing left"
for signal in INT:130 TERM:143 HUP:129; do
  check 0 '' -version && slot -STOP -server && { setsid env --default-signal=INT "$run" -version 2>err & } &&
    until_ 10 grep -qs "^$!$" "$KESTRUNE_RUN_DIR"/warm-*/use && signal "${signal%:*}" "${signal#*:}" "waiting for Kestrune.exe"
done
check 0 '' -version && slot -STOP -server && KESTRUNE_WINE_TIMEOUT=2 check 1 '' -version
said "run.sh: Kestrune.exe neither asked for the VM nor showed a box within 2 s"
until_ 5 left
check 0 '' -version && KESTRUNE_NO_SANDBOX=1 check 0 '' -version && grep -q "^run.sh: KESTRUNE_NO_SANDBOX is set" err ||
  failed "a run with KESTRUNE_NO_SANDBOX=1 took a warm slot" && "$src/wine/stop-warm.sh" >/dev/null && until_ 5 left
KESTRUNE_NO_SANDBOX=1 check 0 '' -version && until_ 5 left
grep -q "^run.sh: KESTRUNE_NO_SANDBOX is set; so Wine runs here without a sandbox" err || failed "no line naming the cold path"
echo "the cold path: a run, nothing left after it"
"$src/wine/stop-warm.sh" >/dev/null && { "$run" -version 2>err & } && until_ 10 made
rm -rf "$KESTRUNE_RUN_DIR" && status=0 && wait $! || status=$?
echo "the run folder deleted within 0.1 s of a slot's making: exit $status" && until_ 5 left
check 0 '' -version && rm -rf "$KESTRUNE_RUN_DIR" && until_ 5 left
echo "the run folder deleted while warm: nothing left"

# A copy of the checkout in a folder whose path holds every character a
# checkout's may, run by a plain user (nobody) where this runs as root.
copy="$2/a plain user's ä \$x %y #z !w (v) ~u =t [s] {r} &q \`p\`/kestrune" as=()
[ "$(id -u)" != 0 ] || as=(setpriv --reuid=nobody --regid=nogroup --clear-groups env HOME="$copy")
mkdir -p "$copy" && tar -C "$src" --exclude=./build --exclude=./.git -cf - . | tar -C "$copy" -xf -
[ -z "${as[*]}" ] || chown -R nobody:nogroup "$2/a plain user's"*
if [ -n "${as[*]}" ] && ! "${as[@]}" test -x "$copy"; then
  echo "skipped the plain user's run: nobody cannot reach ${copy@Q}"
else
  status=0 && (cd "$copy" && env -u KESTRUNE_RUN_DIR "${as[@]}" wine/run.sh -version) >out 2>&1 </dev/null || status=$?
  grep -q '^openjdk version' out && [ "$status" = 0 ] || { cat out; failed "expected the run from ${copy@Q} to start java -version"; }
  echo "a first run in ${copy@Q}${as[*]:+, by nobody}: exit 0"
  (cd "$copy" && env -u KESTRUNE_RUN_DIR "${as[@]}" wine/stop-warm.sh >/dev/null)
fi
rm -rf "$2"
