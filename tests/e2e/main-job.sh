#!/usr/bin/env bash
# The main job as a user drives it: scripts/run.sh started from a folder of
# the user's, not the checkout, whose name holds a blank and a non-ASCII
# letter. It runs a jar there by a relative path, which reads a file there by
# a relative path too, so the VM ran in that folder; its output arrives on
# the script's output and its exit status is the script's. Without
# arguments, the launcher's box arrives as a line of output.
#   main-job.sh SOURCE_DIR WORK_DIR
set -euo pipefail
export LC_ALL=C.UTF-8  # Java reads a non-ASCII folder name only in a UTF-8 locale
src=$1 work=$2/"app folder ä"
rm -rf "$2" && mkdir -p "$work" && cd "$work"
echo 'public class App { public static void main(String[] a) throws Exception {
  System.out.println(java.nio.file.Files.readString(java.nio.file.Path.of(a[0])).trim()); System.exit(Integer.parseInt(a[1])); } }' >App.java
javac App.java && jar cfe app.jar App App.class && echo "read in the user's folder" >greeting.txt
check() {  # EXIT_STATUS OUTPUT ARGUMENTS...
  local output status=0
  output=$("$src/scripts/run.sh" "${@:3}") || status=$?
  echo "run.sh ${*:3}: exit $status: $output"
  [ "$status" = "$1" ] && [ "$output" = "$2" ] || { echo "FAILED: expected exit $1 and: $2"; exit 1; }
}
check 42 "read in the user's folder" -jar app.jar greeting.txt 42
check 0 'Kestrune.exe showed a box: JavaVM: C:\java-home\bin\javaw.exe' --
rm -rf "$2"
