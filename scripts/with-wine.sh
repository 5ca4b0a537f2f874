#!/usr/bin/env bash
# with-wine.sh BUILD_DIR COMMAND...: runs COMMAND with the build's Wine prefix
# ready (created on first use), one persistent wineserver and an Xvfb display.
set -uo pipefail
build=$(realpath "$1"); shift
export WINEPREFIX="$build/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=d;mshtml=d"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Creating the Wine prefix in $WINEPREFIX"
  wineboot -i >/dev/null 2>&1
  wineserver -w
  # A crashing program must not open a dialog and wait forever.
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  wineserver -w
fi
xvfb_pid=""
if [ -z "${DISPLAY:-}" ]; then
  # Every Wine thread that shows a window holds a display connection of its
  # own: 255 sessions with windows need more than the default 256 clients.
  fifo=$(mktemp -u); mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -maxclients 1024 3>"$fifo" >/dev/null 2>&1 &
  xvfb_pid=$!
  read -r dnum <"$fifo"; rm -f "$fifo"
  export DISPLAY=":$dnum"
fi
wineserver -p
# Start Wine's own background processes now, detached from our output: if a
# test program started them they would hold ctest's pipes open after it ends.
wine cmd.exe /c exit </dev/null >/dev/null 2>&1
"$@"
rc=$?
wineserver -k 2>/dev/null
wineserver -w 2>/dev/null
[ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
exit $rc
