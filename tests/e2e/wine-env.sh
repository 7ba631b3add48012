# Shared settings of the scripts that run Kestrune under Wine; sourced, not
# run. Quiet Wine, no Mono or Gecko installer dialogs, and no JAVA_HOME from
# the machine leaking in.
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset JAVA_HOME

# Wine's two loaders, called by name: Debian's `wine` script always picks the
# 32-bit one when it is installed, even where it cannot run.
wine32=/usr/lib/wine/wine
wine64=/usr/lib/wine/wine64

# wine_present: whether Wine and its 64-bit loader, which every machine needs,
# are installed; if not, says which package to install.
wine_present() {
  [ ! -x "$wine64" ] || return 0
  if [ -x "$wine32" ] || [ -x "$(type -P wine)" ]; then
    echo "Wine's 64-bit loader $wine64 is missing: install the package wine64 (scripts/setup.sh installs it)" >&2
  else
    echo "Wine is not installed: install the packages wine and wine64 (scripts/setup.sh installs them)" >&2
  fi
  return 1
}

# wine_builds: which builds of Kestrune.exe this machine runs under Wine, found
# by trying. Sets builds to "i686 x86_64" or to "x86_64" (the 32-bit release
# needs the 32-bit loader, which a machine that runs no 32-bit programs cannot
# start), and why to one line saying so. KESTRUNE_NO_32BIT=1 takes the path of
# such a machine anywhere. Fails where wine_present does.
wine_builds() {
  local answer
  wine_present || return 1
  builds=x86_64
  if [ "${KESTRUNE_NO_32BIT:-0}" != 0 ]; then
    why="KESTRUNE_NO_32BIT is set"
  elif [ ! -x "$wine32" ]; then
    why="Wine's 32-bit loader $wine32 is missing (package wine32:i386)"
  # bash, not timeout, starts the loader: timeout would run a file the kernel
  # cannot execute as a shell script.
  elif answer=$(timeout 60 bash -c '"$0" --version' "$wine32" 2>&1); then
    builds="i686 x86_64" why="this machine runs 32-bit programs ($wine32 --version: $answer)"
  else
    why="this machine runs no 32-bit programs ($wine32 --version: ${answer##*: })"
  fi
}

# wine_loader i686|x86_64: the loader that runs that build.
wine_loader() {
  if [ "$1" = i686 ]; then echo "$wine32"; else echo "$wine64"; fi
}

# make_prefix DIR win32|win64: a new Wine prefix, fully booted.
make_prefix() {
  local loader=$wine64
  [ "$2" = win64 ] || loader=$wine32
  rm -rf "$1"
  WINEARCH=$2 WINEPREFIX=$1 "$loader" wineboot -i
  WINEPREFIX=$1 wineserver -w
}

# copy_prefix FROM TO: a throwaway copy of a template prefix. The large
# system files are hard links (Wine replaces files rather than writing into
# them); the registry files are real copies.
copy_prefix() {
  cp -al "$1" "$2"
  for reg in system.reg user.reg userdef.reg; do cp --remove-destination "$1/$reg" "$2/$reg"; done
}
