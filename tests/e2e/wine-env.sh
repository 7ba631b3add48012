# Shared settings of the Wine test scripts; sourced, not run.
# Quiet Wine, no Mono or Gecko installer dialogs, and no JAVA_HOME from the
# machine leaking into a case.
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset JAVA_HOME

# make_prefix DIR ARCH: a new Wine prefix, win32 or win64, fully booted.
make_prefix() {
  local dir=$1 arch=$2
  rm -rf "$dir"
  if [ "$arch" = win32 ]; then
    WINEARCH=win32 WINEPREFIX="$dir" wineboot -i
  else
    WINEARCH=win64 WINEPREFIX="$dir" wineboot -i
  fi
  WINEPREFIX="$dir" wineserver -w
}

# copy_prefix FROM TO: a throwaway copy of a template prefix. The large
# system files are hard links (Wine replaces files rather than writing into
# them); the registry files are real copies.
copy_prefix() {
  cp -al "$1" "$2"
  local reg
  for reg in system.reg user.reg userdef.reg; do
    cp --remove-destination "$1/$reg" "$2/$reg"
  done
}
