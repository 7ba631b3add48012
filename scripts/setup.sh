#!/usr/bin/env bash
# Installs every Debian package Kestrune needs to build, run and test, without
# asking anything. Safe to run again: apt-get skips what is already there.
set -euo pipefail

if [ "$(id -u)" -ne 0 ]; then
  exec sudo -E "$0" "$@"
fi

export DEBIAN_FRONTEND=noninteractive

# wine32 is an i386 package; the architecture must be known before the update.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi

apt-get update -qq
apt-get install -y -qq --no-install-recommends \
  cmake make g++ libgtest-dev libbenchmark-dev \
  g++-mingw-w64-i686 binutils-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 \
  wine wine32:i386 wine64 xvfb xauth git \
  clang libclang-rt-14-dev clang-tidy clang-format cppcheck llvm \
  icoutils libxml2-utils osslsigncode openssl \
  default-jdk-headless hyperfine >/dev/null

echo "setup: all packages present"
