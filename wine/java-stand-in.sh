#!/bin/sh
# The VM of wine/run.sh's slots, C:\java-home\bin\java.exe in their prefix
# (SLOT/prefix/drive_c/java-home/bin/java.exe): it hands the folder and the
# arguments it was started with to run.sh, in SLOT/vm.request, each ended by
# a NUL, says so on SLOT/events (vm), and ends.
slot=${0%/java-home/bin/java.exe}/../..
cd -P . && printf '%s\0' "$PWD" "$@" >"$slot/vm.request" && printf 'vm\0' 1<>"$slot/events"
