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
# refused. Without arguments, the launcher's box arrives as a line of output.
#   main-job.sh SOURCE_DIR WORK_DIR
set -euo pipefail
export LC_ALL=C.UTF-8 FOO=bar  # Java reads a non-ASCII folder name only in a UTF-8 locale
unset DISPLAY
src=$1 work=$2/"app folder ä" run=$1/scripts/run.sh
rm -rf "$2" && mkdir -p "$work/q?dir" && cd "$work"
echo 'public class App { public static void main(String[] a) throws Exception {
  if (a[0].equals("kill")) new ProcessBuilder("kill", "-9", "" + ProcessHandle.current().pid()).start().waitFor();
  System.out.println(java.nio.file.Files.readString(java.nio.file.Path.of(a[0])).trim() + ", input "
    + new String(System.in.readAllBytes()).trim() + ", console " + (System.console() != null) + ", FOO "
    + System.getenv("FOO") + ", DISPLAY " + System.getenv("DISPLAY"));
  System.exit(Integer.parseInt(a[1])); } }' >App.java
javac App.java && jar cfe app.jar App App.class && echo "read in the user's folder" >greeting.txt
failed() { echo "FAILED: $*"; exit 1; }
check() {  # EXIT_STATUS OUTPUT ARGUMENTS...: run.sh's error output is left in $work/err
  local output status=0
  output=$("$run" "${@:3}" 2>"$work/err") || status=$?
  echo "run.sh ${*:3}: exit $status: $output"
  [ "$status" = "$1" ] && [ "$output" = "$2" ] || failed "expected exit $1 and: $2 ($(tail -1 "$work/err"))"
}
printf 'piped\n' | check 42 "read in the user's folder, input piped, console false, FOO bar, DISPLAY null" \
  -jar app.jar greeting.txt 42
output=$(printf 'typed\n\004' | script -qec "$(printf %q "$run") -jar app.jar greeting.txt 0" /dev/null | tr -d '\r')
echo "run.sh at a terminal: $output"
[[ $output == *"read in the user's folder, input typed, console true, FOO bar, DISPLAY null"* ]] ||
  failed "the VM did not read the terminal, or had no console"
check 137 '' -jar app.jar kill 0 </dev/null
[ "$(tail -1 err)" = 'run.sh: the Java VM was ended by signal 9 (KILL)' ] || failed "no line naming the signal"
# By sh, through a link, with output closed and error output full: the VM still runs, and its status is the run's.
ln -s "$run" kestrune-run && status=0 && sh kestrune-run -jar app.jar greeting.txt 7 </dev/null >&- 2>/dev/full || status=$?
echo "sh kestrune-run (a link to run.sh) >&- 2>/dev/full: exit $status"
[ "$status" = 7 ] || failed "expected exit 7, the VM's own"
(cd 'q?dir' && check 2 '' -version)
grep -q "Windows cannot name this folder" err || failed "no line naming the refused folder"
check 0 'Kestrune.exe showed a box: JavaVM: C:\java-home\bin\javaw.exe' --
rm -rf "$2"
