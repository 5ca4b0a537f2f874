#!/usr/bin/env bash
# The dial-out path on this machine: a simulated remote access device on
# 127.0.0.2, found and asked for its ports through the browsing library; COM3
# (port key Dialout2) configured through the Chooser as a user does it (the
# browse dialog finds the device, its port group "modem1" goes to COM3,
# Redirect, OK), with a picture of each step in BUILD/screenshots; then the
# service in console debug mode, and the port driver stand-in opening the
# port, dialling, exchanging a few lines with the modem and hanging up.
# Runs inside scripts/with-wine.sh (prefix, wineserver and display are set up).
set -uo pipefail
build="$(realpath "$1")"
bin="$build/bin"
root="$(cd "$(dirname "$0")/.." && pwd)"
# shellcheck source=scripts/capture-scenes.sh
source "$root/scripts/capture-scenes.sh"
log=$(mktemp -d)
cd "$bin"

section() { printf '\n=== %s ===\n' "$*"; }
cleanup() {
  [ -n "${svc_pid:-}" ] && kill "$svc_pid" 2>/dev/null
  [ -n "${sim_pid:-}" ] && kill "$sim_pid" 2>/dev/null
  exec 7>&- 2>/dev/null
  wait 2>/dev/null
  rm -rf "$log"
}
trap cleanup EXIT

section "Remote access device simulator on 127.0.0.2:1549 (SNMP agent on UDP 161)"
mkfifo "$log/sim.in"
start_simulator() {
  wine rasim.exe --listen 127.0.0.2:1549 --device Harbor --port modem1 --port modem2 \
    --user alice:secret "$@" <"$log/sim.in" >"$log/sim.out" 2>&1 &
  sim_pid=$!
  exec 7>"$log/sim.in"   # the simulator runs until its input closes
  for _ in $(seq 100); do grep -q "READY" "$log/sim.out" && break; sleep 0.1; done
  sleep 0.3
}
start_simulator --snmp-port 161 --hardware 9
browse=1
if ! kill -0 "$sim_pid" 2>/dev/null; then
  # Port 161 needs privileges; the dial-out path does not.
  cat "$log/sim.out"
  echo "(no SNMP agent: the browsing step is left out)"
  browse=0
  start_simulator
fi
cat "$log/sim.out"

if [ "$browse" = 1 ]; then
  section "The device through KVRBRWS.DLL: its details, summary and serial ports"
  wine regedit /S "$(winepath -w "$root/data/catalogue.reg")"
  wine kvrfind.exe device 127.0.0.2
  wine kvrfind.exe info 127.0.0.2
  wine kvrfind.exe ports 127.0.0.2
fi

configured=0
if [ "$browse" = 1 ]; then
  section "The Chooser: COM3 redirected to Harbor's port group modem1, as a user does it"
  rm -f "$build"/screenshots/demo-chooser-*.png
  if capture_scenes "$build/screenshots" "$bin/choosershots.exe" demo Harbor 127.0.0.2 modem1; then
    configured=1
    echo "Pictures of the Chooser's steps: $(ls "$build"/screenshots/demo-chooser-*.png | tr '\n' ' ')"
  else
    echo "(the Chooser step failed: COM3 is configured through KVRBRWS.DLL instead)"
  fi
fi
if [ "$configured" = 0 ]; then
  section "COM3 redirected to Harbor, port modem1 (through KVRBRWS.DLL)"
  wine kvrconf.exe set 2 COM3 127.0.0.2:1549 Harbor modem1
fi
wine kvrconf.exe option Silent 1
wine kvrconf.exe option PasswordCaching 0
wine kvrconf.exe show 2

section "KVRSVC.EXE -debug"
wine KVRSVC.EXE -debug -pipe '\\.\pipe\dialout' >"$log/svc.out" 2>&1 &
svc_pid=$!
for _ in $(seq 100); do grep -q Listening "$log/svc.out" && break; sleep 0.1; done

section "Port driver stand-in: open COM3 (port key Dialout2), dial, talk, hang up"
wine portdrv.exe Dialout2 <<'SCRIPT'
at ATZ
expect OK
at ATDT5551234
expect CONNECT
send Hello over the network!\r\n
expect network!
send Second line.\r\n
expect line.
wait 1200
send +++
expect OK
at ATH
expect OK
quit
SCRIPT

sleep 1
section "What the service printed"
kill -INT "$svc_pid" 2>/dev/null   # Ctrl+C
for _ in $(seq 50); do kill -0 "$svc_pid" 2>/dev/null || break; sleep 0.1; done
cat "$log/svc.out"

section "What the simulated device saw"
exec 7>&-
for _ in $(seq 50); do kill -0 "$sim_pid" 2>/dev/null || break; sleep 0.1; done
cat "$log/sim.out"

wine kvrconf.exe off 2 >/dev/null
