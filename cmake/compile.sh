#!/bin/bash
# The compiler launcher of every build: runs the compile command, then
# rewrites its dependency file (-MF FILE) so that it names the files in
# SOURCE_DIR relative to the build folder. Ninja 1.11 (Debian 12's) reads a
# path in a dependency file only up to a ', & or backtick, and takes the rest
# for another file, which it never finds: everything would be rebuilt each
# time. For /x/a'b built in /x/a'b/build/host, /x/a'b/launcher/launcher.h
# becomes ../../launcher/launcher.h.
#   compile.sh SOURCE_DIR COMMAND...
root=$1 && shift
"$@" || exit
for ((i = 1; i < $#; i++)); do [ "${!i}" != -MF ] || { i=$((i + 1)) && deps=${!i}; }; done
[[ -n ${deps-} && $PWD/ == "$root"/* ]] || exit 0
up=. rest=${PWD#"$root"}
while [ -n "$rest" ]; do up+=/.. rest=${rest%/*}; done
# The folder as the compiler writes it there: a $ doubled, a # and a blank after a backslash.
from=${root//\$/\$\$} && from=${from//#/\\#} && from=${from// /\\ }
text=$(<"$deps") && printf '%s\n' "${text//"$from/"/"${up#./}/"}" >"$deps"
