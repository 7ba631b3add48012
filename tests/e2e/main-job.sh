#!/usr/bin/env bash
# The main job as a user drives it: scripts/run.sh started from a folder of
# the user's, not the checkout, whose name holds a blank and a non-ASCII
# letter. It runs a jar there by a relative path, which reads a file there by
# a relative path too, so the VM ran in that folder; the VM reads the
# script's input, through a pipe and at a terminal (where it has a console),
# and gets the caller's environment, not the script's display; its output
# arrives on the script's output and its exit status is the script's, or a
# line names the signal that ended it, and neither a start by sh through a
# link nor closed or full output stops it. A folder Windows cannot name is
# refused, and so is a deleted one. Without arguments, the launcher's box
# arrives as a line of output. A VM's exit(137) is not called a signal. Its
# life: Ctrl-C while the template is made ends it within 0.5 s and leaves
# nothing running or locked; a run that waits for another says so; a missing
# TMPDIR stops no run and reaches the VM as it was. Nothing of a run, no Wine
# program, keeper, display or socket folder, outlives it, however it ends: its
# warm Wine server ended with SIGTERM; run.sh and its keeper killed with -9
# while the VM runs (which ends the VM); stop-warm.sh, which the run names; a
# Wine step that never ends (its server stopped), which ends the run at its
# time limit, the next run working; the run folder deleted while warm.
#   main-job.sh SOURCE_DIR WORK_DIR
set -euo pipefail
export LC_ALL=C.UTF-8 FOO=bar  # Java reads a non-ASCII folder name only in a UTF-8 locale
unset DISPLAY
src=$1 work=$2/"app folder ä" run=$1/scripts/run.sh
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
sockets=
# until SECONDS COMMAND...: waits for COMMAND to succeed, SECONDS at most.
until_() { local i; for ((i = 0; i < $1 * 10; i++)); do "${@:2}" && return; sleep 0.1; done; failed "waited $1 s for: ${*:2}"; }
# Nothing of the runs' Wine is left, nor the lock held, nor a socket folder noted by server.
left() {
  ! grep -qsza "^WINEPREFIX=$KESTRUNE_RUN_DIR" /proc/[0-9]*/environ || return
  for socket in $sockets; do [ ! -e "/tmp/$socket" ] || return; done
  [ ! -e "$KESTRUNE_RUN_DIR" ] || flock -n "$KESTRUNE_RUN_DIR/lock" true
}
# server SIGNAL: sends SIGNAL (0: none) to the Wine servers of the warm slots, and notes their socket folders.
server() {
  local slot env pid
  for slot in "$KESTRUNE_RUN_DIR"/warm-*; do
    sockets+=" $(<"$slot/prefix/wineserver")"
    for env in $(grep -lzsxF "WINEPREFIX=$slot/prefix" /proc/[0-9]*/environ); do
      pid=${env//[^0-9]/} && [[ $(</proc/$pid/comm) != wineserver* ]] || kill -"$1" "$pid" || true
    done
  done
}
said() { [ "$(tail -1 "$work/err")" = "$1" ] || failed "expected the line: $1 (saw: $(tail -1 "$work/err"))"; }
check() {  # EXIT_STATUS OUTPUT ARGUMENTS...: run.sh's error output is left in $work/err
  local output status=0
  output=$("$run" "${@:3}" 2>"$work/err") || status=$?
  echo "run.sh ${*:3}: exit $status: $output"
  [ "$status" = "$1" ] && [ "$output" = "$2" ] || failed "expected exit $1 and: $2 ($(tail -1 "$work/err"))"
}
# Ctrl-C (SIGINT to the process group) 2.5 s into the template's making.
setsid env --default-signal=INT "$run" -version 2>err & until_ 120 grep -q preparing err
sleep 2.5 && kill -INT -- "-$!" && started=$(date +%s%N) status=0 && wait $! || status=$?
took=$((($(date +%s%N) - started) / 1000000)) && echo "run.sh interrupted while preparing Wine: exit $status after $took ms"
[ "$status" = 130 ] && [ "$took" -lt 500 ] || failed "expected exit 130 within 500 ms"
until_ 5 left
# A run that waits for another says so, and goes on; Wine works without the caller's TMPDIR, the VM gets it.
flock "$KESTRUNE_RUN_DIR/lock" sleep 2 & sleep 0.2
printf 'piped\n' | TMPDIR=/nonexistent check 42 \
  "read in the user's folder, input piped, console false, FOO bar, DISPLAY null, TMPDIR /nonexistent" -jar app.jar greeting.txt 42
grep -q "^run.sh: waiting for another run.sh of this checkout.*; this one goes on by itself" err || failed "no waiting line"
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
# Nothing outlives a run, however it ends; slots stay warm 10 s here.
export KESTRUNE_WARM_SECONDS=10
check 0 '' -version && server TERM && until_ 20 left && echo "a warm Wine server ended with SIGTERM: nothing left"
"$run" -jar app.jar sleep 0 >out 2>&1 </dev/null & until_ 30 grep -q started out
server 0 && kill -9 $! $(cut -d' ' -f1 "$KESTRUNE_RUN_DIR"/warm-*/keeper) && until_ 20 left
! grep -q outlived out || failed "the VM outlived run.sh"
echo "run.sh and its keeper killed while the VM ran: nothing left, the VM ended"
check 0 '' -version && server STOP && { "$run" -version 2>err & } && until_ 10 grep -q '^running: ' err
sleep 0.5 && "$src/scripts/stop-warm.sh" && status=0 && wait $! || status=$?
[ "$status" = 1 ] && grep -q "^run.sh: scripts/stop-warm.sh ended the Wine prefix of this run" err ||
  failed "expected exit 1 and a line naming stop-warm.sh, saw exit $status and: $(tail -1 err)"
until_ 10 left && echo "stop-warm.sh during a run: exit 1, said so, nothing left"
check 0 '' -version && server STOP && KESTRUNE_WINE_TIMEOUT=2 check 1 '' -version
said "run.sh: Kestrune.exe neither asked for the VM nor showed a box within 2 s"
until_ 20 left && check 0 '' -version
check 0 '' -version && server 0 && rm -rf "$KESTRUNE_RUN_DIR" && until_ 20 left
echo "the run folder deleted while warm: nothing left"
rm -rf "$2"
