#!/usr/bin/env bash
# installer-prefix.sh, sourced by the installer's tests and pictures:
#   installer_prefix BUILD
# makes a fresh Wine prefix in BUILD/installer-prefix with a wineserver of its
# own (the set-up installs a real service there, which must not meet the
# build's test prefix) and an Xvfb display of its own (the set-up's windows
# must not cover those of tests driving the mouse on the shared one), and on
# exit kills both, also when the caller fails. One run per build
# at a time holds BUILD/installer-prefix.lock.
# Also prepares C:\kvr-readonly, a folder nobody may write to (chattr +i),
# and names it in KVR_READONLY_DIR where the file system allows that.

installer_prefix() {
  local build
  build=$(realpath "$1")
  export WINEPREFIX="$build/installer-prefix"
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree=d;mshtml=d"
  unset WINESERVER KVR_READONLY_DIR
  _kvr_readonly="$WINEPREFIX/drive_c/kvr-readonly"
  _kvr_xvfb=""
  unset DISPLAY
  trap _installer_prefix_end EXIT
  trap 'exit 1' INT TERM

  exec {_kvr_lock}>"$build/installer-prefix.lock"
  flock -w 900 "$_kvr_lock" || { echo "another run holds $build/installer-prefix.lock" >&2; exit 1; }

  local fifo dnum
  fifo=$(mktemp -u); mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  _kvr_xvfb=$!
  read -r dnum <"$fifo"; rm -f "$fifo"
  export DISPLAY=":$dnum"

  # A wineserver left by an interrupted run still owns the old prefix.
  wineserver -k 2>/dev/null
  wineserver -w 2>/dev/null
  chattr -i "$_kvr_readonly" 2>/dev/null
  rm -rf "$WINEPREFIX"
  echo "Creating a fresh Wine prefix in $WINEPREFIX"
  wineboot -i </dev/null >/dev/null 2>&1
  wineserver -w
  # A crashing program must not open a dialog and wait forever.
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f </dev/null >/dev/null 2>&1
  wineserver -w
  wineserver -p
  # Wine's background processes start now, detached from the caller's output.
  wine cmd.exe /c exit </dev/null >/dev/null 2>&1

  mkdir -p "$_kvr_readonly"
  if chattr +i "$_kvr_readonly" 2>/dev/null && ! touch "$_kvr_readonly/probe" 2>/dev/null; then
    export KVR_READONLY_DIR='C:\kvr-readonly'
  else
    chattr -i "$_kvr_readonly" 2>/dev/null
  fi
}

_installer_prefix_end() {
  local rc=$?
  wineserver -k 2>/dev/null
  wineserver -w 2>/dev/null
  chattr -i "$_kvr_readonly" 2>/dev/null
  [ -n "$_kvr_xvfb" ] && kill "$_kvr_xvfb" 2>/dev/null
  exit "$rc"
}
