#!/usr/bin/env bash
# Installs every Debian package Kestrune needs to build, run and test, without
# asking anything, on Debian 12 (bookworm) or 13 (trixie): the names below are
# the same on both, but for the Clang, LLD and LLVM that build Kestrune.exe (16 on
# Debian 12, 19 on 13). Safe to run again: apt-get skips what is already there.
# Run it as root, or as a user who may use sudo; sh runs it with bash.
[ -n "${BASH_VERSION-}" ] || exec bash "$0" "$@"
set -euo pipefail

[ "$(id -u)" = 0 ] || exec sudo -E "$0" "$@"
command -v apt-get >/dev/null || { echo "setup: no apt-get here: this script installs Debian packages, on Debian 12 or 13" >&2; exit 1; }
system=$(. /etc/os-release 2>/dev/null && echo "${ID-}:${VERSION_ID-}:${PRETTY_NAME-unknown}")
[[ ${system%:*} =~ ^debian:1[23]$ ]] || echo "setup: made for Debian 12 and 13, and this is ${system#*:*:}: trying all the same" >&2

export DEBIAN_FRONTEND=noninteractive
llvm=19 && [ "${system%:*}" != debian:12 ] || llvm=16

# wine32 is an i386 package; the architecture must be known before the update.
dpkg --print-foreign-architectures | grep -x i386 >/dev/null || dpkg --add-architecture i386

# A mirror may serve an index it has not finished replacing ("Mirror sync in
# progress?"): the update is tried again after a pause. Where only the i386
# indexes stay out of reach, wine32 is left out (its i386 libraries must match
# the amd64 ones, which the index may know newer): where it is missing, the
# tests then run the x86-64 build, as on a machine that runs no 32-bit programs.
wine32=wine32:i386 log=$(mktemp) && trap 'rm -f "$log"' EXIT
for pause in 20 40 -; do
  apt-get update -qq 2>"$log" && break
  [ $pause = - ] || { echo "setup: apt-get update failed, trying again in $pause s: $(grep -m1 '^E:' "$log")" >&2; read -rt $pause <> <(:) || :; }
done
if grep -q '^E:' "$log"; then
  [ -z "$(grep '^E:' "$log" | grep -v -e '/binary-i386/' -e '^E: Some index files failed' || :)" ] ||
    { cat "$log" >&2; echo "setup: apt-get update could not fetch Debian's package indexes (above)" >&2; exit 1; }
  wine32= && echo "setup: Debian's i386 index could not be fetched, so wine32 is left out: without it, the tests run only the x86-64 build" >&2
fi
apt-get install -y -qq --no-install-recommends \
  cmake ninja-build make g++ libgtest-dev libbenchmark-dev \
  g++-mingw-w64-i686 binutils-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 clang-$llvm lld-$llvm llvm-$llvm \
  wine $wine32 wine64 xvfb xauth x11-utils bubblewrap inotify-tools gettext-base git \
  clang libclang-rt-dev clang-tidy clang-format cppcheck llvm \
  icoutils libxml2-utils osslsigncode openssl debootstrap \
  default-jdk-headless hyperfine >/dev/null ||
  { echo "setup: apt-get install failed (above)" >&2; exit 1; }

echo "setup: all packages present"
