# Shared settings of the Wine scripts; sourced, not run. Quiet Wine, no Mono
# or Gecko installer dialogs, and no JAVA_HOME from the machine leaking in.
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset JAVA_HOME

# make_prefix DIR win32|win64: a new Wine prefix, fully booted.
make_prefix() {
  rm -rf "$1"
  WINEARCH=$2 WINEPREFIX=$1 wineboot -i
  WINEPREFIX=$1 wineserver -w
}

# copy_prefix FROM TO: a throwaway copy of a template prefix. The large
# system files are hard links (Wine replaces files rather than writing into
# them); the registry files are real copies.
copy_prefix() {
  cp -al "$1" "$2"
  for reg in system.reg user.reg userdef.reg; do cp --remove-destination "$1/$reg" "$2/$reg"; done
}
