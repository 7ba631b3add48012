#!/usr/bin/env bash
# Installs every Debian package Kestrune needs to build, run and test, without
# asking anything, on Debian 12 (bookworm) or 13 (trixie): the names below are
# the same on both. Safe to run again: apt-get skips what is already there.
# Run it as root, or as a user who may use sudo; sh runs it with bash.
[ -n "${BASH_VERSION-}" ] || exec bash "$0" "$@"
set -euo pipefail

if [ "$(id -u)" -ne 0 ]; then
  exec sudo -E "$0" "$@"
fi
command -v apt-get >/dev/null ||
  { echo "setup: no apt-get here: this script installs Debian packages, on Debian 12 or 13" >&2; exit 1; }
system=$(. /etc/os-release 2>/dev/null && echo "${ID-}:${VERSION_ID-}:${PRETTY_NAME-unknown}")
case ${system%:*} in
  debian:12 | debian:13) ;;
  *) echo "setup: made for Debian 12 and 13, and this is ${system#*:*:}: trying all the same" >&2 ;;
esac

export DEBIAN_FRONTEND=noninteractive

# wine32 is an i386 package; the architecture must be known before the update.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi

apt-get update -qq
apt-get install -y -qq --no-install-recommends \
  cmake ninja-build make g++ libgtest-dev libbenchmark-dev \
  g++-mingw-w64-i686 binutils-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 \
  wine wine32:i386 wine64 xvfb xauth x11-utils git \
  clang libclang-rt-dev clang-tidy clang-format cppcheck llvm \
  icoutils libxml2-utils osslsigncode openssl debootstrap \
  default-jdk-headless hyperfine >/dev/null

echo "setup: all packages present"
