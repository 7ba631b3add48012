# What every script that runs Kestrune under Wine shares (scripts/run.sh and
# stop-warm.sh, bench/run.sh, the end-to-end tests); sourced, not run. Quiet
# Wine, no Mono or Gecko installer dialogs, no menu entries and file
# associations written into the user's home, no debugger holding a program
# that crashed (its exit status and Wine's line "Unhandled page fault ..."
# say so at once), and no JAVA_HOME from the machine, nor the stand-in VM's
# recording variable, leaking in.
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe,winedbg.exe=d"
unset JAVA_HOME KESTRUNE_RECORD
# Wine keeps its server's socket in a folder in TMPDIR: it fails where TMPDIR
# names a folder that is missing or cannot be written ("unable to create
# wineserver tmpdir"), and Debian 13's Wine 10 crashes ("free(): invalid
# pointer") where TMPDIR is set at all. So Wine works in /tmp, TMPDIR unset.
unset TMPDIR

# Wine's two loaders, called by name: Debian's `wine` script always picks the
# 32-bit one when it is installed, even where it cannot run.
wine32=/usr/lib/wine/wine
wine64=/usr/lib/wine/wine64

# wine_present: whether Wine's 64-bit loader, which every machine needs, is
# installed; if not, says which package to install.
wine_present() {
  [ ! -x "$wine64" ] || return 0
  [ -x "$wine32" ] && echo "Wine's 64-bit loader $wine64 is missing: install the package wine64 (scripts/setup.sh installs it)" >&2 ||
    echo "Wine is not installed: install the packages wine and wine64 (scripts/setup.sh installs them)" >&2
  return 1
}

# wine_builds: the build presets of Kestrune.exe this machine runs under Wine,
# found by trying. Sets builds to "windows windows64" or to "windows64" (the
# 32-bit release needs the 32-bit loader, which a machine that runs no 32-bit
# programs cannot start), and why to one line saying so. KESTRUNE_NO_32BIT=1
# takes the path of such a machine anywhere. Fails where wine_present does.
wine_builds() {
  wine_present || return 1
  local answer
  builds=windows64 why="KESTRUNE_NO_32BIT is set"
  [ "${KESTRUNE_NO_32BIT:-0}" = 0 ] || return 0
  why="Wine's 32-bit part is not installed (the package wine32:i386, which scripts/setup.sh installs)"
  [ -x "$wine32" ] || return 0
  # bash, not timeout, starts the loader: timeout would run a file the kernel
  # cannot execute as a shell script. Its error is named only where it is not
  # the plain answer of a kernel that runs no 32-bit programs.
  if answer=$(timeout 60 bash -c '"$0" --version' "$wine32" 2>&1); then
    builds="windows windows64" why="this machine runs 32-bit programs"
  elif [[ $answer == *"Exec format error"* ]]; then
    why="this machine runs no 32-bit programs (its kernel has them switched off), and the release is one"
  else
    why="Wine's 32-bit loader does not start here ($wine32: ${answer##*: })"
  fi
}

# wine_choose: of the builds this machine runs, the one a user is shown, the
# release where it runs. Sets preset (the build preset), wine (its loader),
# arch (the prefix it runs in) and what (its name), besides builds and why.
wine_choose() {
  wine_builds || return 1
  preset=${builds%% *} arch=win64 what="the x86-64 build (not the release)"
  [ "$preset" != windows ] || arch=win32 what="the 32-bit release"
  wine=$(wine_loader "$preset")
}

# wine_loader windows|windows64|win32|win64: the loader that runs that build,
# or that kind of prefix.
wine_loader() { case $1 in windows | win32) echo "$wine32" ;; *) echo "$wine64" ;; esac; }

# stop_prefix DIR: stops the prefix's server and waits until it is gone. Wine
# finds a prefix's server by the folder's inode, which a new folder may get
# again once this one is deleted: it must not meet a server still stopping.
# Debian's Wine keeps the server's socket in a folder of its own in /tmp,
# named in DIR/wineserver, which outlives the server: it goes too.
stop_prefix() {
  local socket
  WINEPREFIX=$1 wineserver -k 2>/dev/null || true
  WINEPREFIX=$1 wineserver -w 2>/dev/null || true
  socket=$(cat "$1/wineserver" 2>/dev/null) && [[ $socket =~ ^wine-[A-Za-z0-9]+$ ]] || return 0
  rm -rf "/tmp/$socket" "$1/wineserver"
}

# start_server DIR [OPTION]: starts the server of the prefix DIR (made when
# missing) before any program does: Debian's Wine gives programs that start at
# once in a prefix without one each a socket folder, and so a server, of their
# own. OPTION goes to wineserver: -pN keeps it up N seconds after the last
# program in it ended (written as one word: Debian's wineserver script puts
# -p0 in front, and a -p without its number means for ever).
start_server() { mkdir -p "$1" && WINEPREFIX=$1 wineserver ${2-}; }

# make_prefix DIR win32|win64: a new Wine prefix, fully booted. The services
# Wine starts with every session of it (mount manager, network, plug and play,
# event log) start only when asked for, and the menu builder not at all:
# nothing Kestrune does needs them, and a session then takes half the time to
# start.
make_prefix() {
  [ ! -d "$1" ] || stop_prefix "$1"
  rm -rf "$1"
  WINEARCH=$2 start_server "$1"  # the server makes the registry, of that kind
  WINEARCH=$2 WINEPREFIX=$1 "$(wine_loader "$2")" wineboot -i
  WINEPREFIX=$1 wineserver -w
  sed -i -e '/^\[System\\\\CurrentControlSet\\\\Services\\\\/,/^$/ s/^"Start"=dword:00000002$/"Start"=dword:00000003/' \
    -e '/^"winemenubuilder"=/d' "$1/system.reg"
}

# copy_prefix FROM TO: a throwaway copy of a template prefix, made in well
# under a second. The large system files are hard links (Wine replaces files
# rather than writing into them); the registry files are real copies; and the
# copy's server gets a socket folder of its own (see stop_prefix), which its
# user can enter whoever made the template.
copy_prefix() {
  cp -al "$1" "$2"
  for reg in system.reg user.reg userdef.reg; do cp --remove-destination "$1/$reg" "$2/$reg"; done
  rm -f "$2/wineserver"
}

# start_display DIR [tied]: a virtual display of its own for Wine's windows, at
# a free number; exports DISPLAY and leaves the number and Xvfb's process id in
# DIR (display, xvfb.pid). stop_display DIR ends it; a tied one also ends with
# the process that started it, however that ends.
start_display() {
  local tie=()
  [ "${2-}" != tied ] || tie=(setpriv --pdeathsig TERM)
  "${tie[@]}" Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$1/display" >/dev/null 2>&1 &
  echo $! >"$1/xvfb.pid"
  local tries
  for tries in $(seq 100); do [ ! -s "$1/display" ] || break; sleep 0.05; done
  [ -s "$1/display" ] || { echo "Xvfb did not start" >&2; return 1; }
  DISPLAY=:$(tr -d '\n' <"$1/display") && export DISPLAY
}
# Its process id is checked to be an Xvfb's still: that of a run killed
# outright may be another process's by now.
stop_display() {
  local pid
  pid=$(cat "$1/xvfb.pid" 2>/dev/null) && [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = Xvfb ] || return 0
  kill "$pid" 2>/dev/null || true
}

# remove_folder DIR: removes a folder of throwaway prefixes (DIR/prefix*) and
# the display started there, once their servers have stopped.
remove_folder() {
  local prefix
  for prefix in "$1"/prefix*; do [ ! -d "$prefix" ] || stop_prefix "$prefix"; done
  stop_display "$1"
  rm -rf "$1"
}

# A slot: where scripts/run.sh runs the launcher, kept warm between runs. It
# holds a copy of a template prefix (prefix), what it is for (key: the prefix
# kind, the display, the /tmp its server's socket is in, and the template's
# stamp), the lock a run holds while it
# uses it (lock), and the keeper's process id and start (keeper). A run leaves
# released there once done with it; a slot whose run was killed has none, and
# is never used again.
#
# keep_slot SLOT LOADER, started in a session of its own (so no Ctrl-C of a
# run reaches it): keeps the slot's Wine server, which ends 60 s after the
# last program in it, and without a DISPLAY a display of its own, tied to this
# process; brings up the prefix's session (its services and desktop) and says
# so (ready). A slot that no run holds and none released was left by a run
# killed outright: nothing will use it again, and its session is ended within
# 2 s (a box of that run's would otherwise stand for ever). Once the server
# has ended and no run holds the slot, removes it all: the display, the
# server's socket folder, the folder.
keep_slot() {
  local server
  [ -n "${DISPLAY-}" ] || start_display "$1" tied
  export WINEPREFIX=$1/prefix
  start_server "$WINEPREFIX" -p60
  "$2" 'C:\box-watcher.exe' --desktop </dev/null
  : >"$1/ready"
  exec 8>>"$1/lock"
  wineserver -w & server=$!
  while kill -0 "$server" 2>/dev/null; do
    sleep 2
    flock -n 8 || continue
    [ -e "$1/released" ] || wineserver -k
    flock -u 8
  done
  flock 8
  remove_folder "$1"
}
