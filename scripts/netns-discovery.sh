#!/usr/bin/env bash
# netns-discovery.sh BUILD [DEVICES] [TIMEOUT]: the broadcast search of
# KVRBRWS.DLL against DEVICES simulated devices (rasim, one process), inside a
# network namespace made for this run that has nothing but loopback, so the
# search's datagram to 255.255.255.255 never reaches a real network.
#
# Wine's sockets belong to wineserver, so the namespace gets its own prefix
# (BUILD/netns-prefix, copied once from BUILD/wineprefix when there is one)
# and its own wineserver, started inside it; an outer WINEPREFIX (ctest under
# with-wine.sh) is overridden, and the outer wineserver is never used.
#
# Checks: the search returns 0 and finds every device exactly once, with its
# own address and the catalogue's type, and the first record's address leads
# to its device's agent (port 161). Prints a FIGURES line either way.
# Exit 0 pass, 1 fail, 77 skipped (no namespace can be made here).
# NETNS_FIND_OPTIONS adds options to kvrfind find (e.g. --callback);
# NETNS_DUPLICATES makes rasim send each answer that many times.
set -uo pipefail

usage() { echo "usage: $0 BUILD [DEVICES] [TIMEOUT]" >&2; exit 2; }

src=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# ---------------------------------------------------------------------------
# Inside the namespace: the prefix, the wineserver, the simulator, the search.
if [ "${1:-}" = "--inside" ]; then
  shift
  build=$1 devices=$2 timeout_s=$3
  # Never search from the machine's own network, whatever called us.
  if [ "$(readlink /proc/self/ns/net)" = "$(readlink /proc/1/ns/net)" ]; then
    echo "FAIL: not inside a separate network namespace" >&2
    exit 1
  fi
  export WINEPREFIX="$build/netns-prefix"
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree=d;mshtml=d"
  # Console programs only; an outer display (reached through an abstract
  # socket of the other namespace) is of no use here.
  unset DISPLAY WINESERVER
  work=$(mktemp -d)
  rasim_pid=""
  # shellcheck disable=SC2317  # called by the EXIT trap
  finish() {
    if [ -n "$rasim_pid" ]; then
      exec 8>&- 2>/dev/null   # end of input: rasim stops
      for _ in $(seq 50); do kill -0 "$rasim_pid" 2>/dev/null || break; sleep 0.1; done
      kill "$rasim_pid" 2>/dev/null
    fi
    wineserver -k 2>/dev/null
    wineserver -w 2>/dev/null
    rm -rf "$work"
  }
  trap finish EXIT

  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    rm -rf "$WINEPREFIX" "$WINEPREFIX.tmp"
    if [ -f "$build/wineprefix/system.reg" ]; then
      echo "Copying $build/wineprefix to $WINEPREFIX"
      cp -a "$build/wineprefix" "$WINEPREFIX.tmp" && mv "$WINEPREFIX.tmp" "$WINEPREFIX" || exit 1
    else
      echo "Creating the Wine prefix in $WINEPREFIX"
      wineboot -i >/dev/null 2>&1
      wineserver -w
      wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    fi
  fi
  # A wineserver left by an interrupted run lives in a namespace that is gone.
  wineserver -k 2>/dev/null
  wineserver -w 2>/dev/null
  wineserver -p
  wine cmd.exe /c exit </dev/null >/dev/null 2>&1

  catalogue="$src/data/catalogue.reg"
  catalogue="Z:${catalogue//\//\\}"
  if ! wine reg import "$catalogue" >"$work/reg.out" 2>&1; then
    echo "FAIL: importing $catalogue"; cat "$work/reg.out"; exit 1
  fi

  # Devices 127.0.1.1 .. 127.0.1.N, names of various lengths.
  args=(--discovery-port 1502)
  declare -A expected
  letters=abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ
  for i in $(seq 1 "$devices"); do
    name="Ns$i-${letters:0:$(( (i * 7) % 40 ))}"
    address="127.0.$(( 1 + (i - 1) / 250 )).$(( 1 + (i - 1) % 250 ))"
    expected[$name]="$address:1549"
    args+=(--listen "$address:1549" --device "$name" --port Modem1 --snmp-port 161 --discovery
           --discovery-duplicates "${NETNS_DUPLICATES:-1}")
  done
  mkfifo "$work/rasim.in"
  wine "$build/bin/rasim.exe" "${args[@]}" <"$work/rasim.in" >"$work/rasim.out" 2>&1 &
  rasim_pid=$!
  exec 8>"$work/rasim.in"
  for _ in $(seq 600); do
    grep -q '^DISCOVERY-READY' "$work/rasim.out" && break
    kill -0 "$rasim_pid" 2>/dev/null || break
    sleep 0.1
  done
  if ! grep -q '^DISCOVERY-READY' "$work/rasim.out"; then
    echo "FAIL: rasim did not get ready"; tail -20 "$work/rasim.out"; exit 1
  fi

  # shellcheck disable=SC2086  # NETNS_FIND_OPTIONS is a list of options
  wine "$build/bin/kvrfind.exe" find --methods Proprietary --timeout "$timeout_s" \
    ${NETNS_FIND_OPTIONS:-} >"$work/find.out" 2>&1
  tr -d '\r' <"$work/find.out" >"$work/find.txt"
  sed -n 's/^/  /p' "$work/find.txt"

  failures=0
  found=0
  declare -A seen
  # kvrfind quotes free text: a field ends at the first quote not after a backslash.
  quoted='"(([^"\\]|\\.)*)"'
  device_line="^DEVICE name=$quoted type=$quoted code=$quoted address=([^ ]*)"
  while IFS= read -r line; do
    [[ $line =~ $device_line ]] || continue
    name=${BASH_REMATCH[1]} code=${BASH_REMATCH[5]} address=${BASH_REMATCH[7]}
    seen[$name]=$(( ${seen[$name]:-0} + 1 ))
    if [ -z "${expected[$name]:-}" ]; then
      echo "FAIL: a device nobody started: $name"; failures=$((failures + 1))
    elif [ "${expected[$name]}" != "$address" ] || [ "$code" != ORD9 ]; then
      echo "FAIL: $name at $address code $code (expected ${expected[$name]} code ORD9)"
      failures=$((failures + 1))
    fi
  done <"$work/find.txt"
  for name in "${!expected[@]}"; do
    case "${seen[$name]:-0}" in
      1) found=$((found + 1)) ;;
      0) echo "FAIL: $name not found"; failures=$((failures + 1)) ;;
      *) echo "FAIL: $name found ${seen[$name]} times"; failures=$((failures + 1)) ;;
    esac
  done
  result=$(sed -n 's/^RESULT \([-0-9]*\) .*/\1/p' "$work/find.txt")
  elapsed=$(sed -n 's/^RESULT .*elapsed_ms=\([0-9.]*\).*/\1/p' "$work/find.txt")
  last=$(sed -n 's/^DEVICE .*at_ms=\([0-9.]*\).*/\1/p' "$work/find.txt" | sort -n | tail -1)
  requests=$(grep -c '^DISCOVERY ' "$work/rasim.out")
  if [ "$result" != 0 ]; then echo "FAIL: the search returned '${result}'"; failures=$((failures + 1)); fi
  # The address a record carries leads back to its device: ask its agent.
  first="Ns1-${letters:0:7}"
  wine "$build/bin/kvrfind.exe" device "${expected[$first]}" --timeout 3 2>&1 | tr -d '\r' >"$work/device.txt"
  sed -n 's/^/  /p' "$work/device.txt"
  if ! grep -q "^DETAIL name=\"$first\" .* address=${expected[$first]} " "$work/device.txt"; then
    echo "FAIL: kvrfind device ${expected[$first]} did not find $first"; failures=$((failures + 1))
  fi
  echo "FIGURES found=$found/$devices timeout_s=$timeout_s elapsed_ms=${elapsed:-?}" \
       "last_record_ms=${last:--} device_answers_sent=$requests"
  [ "$failures" = 0 ] || { echo "rasim output:"; tail -5 "$work/rasim.out"; exit 1; }
  echo "PASS"
  exit 0
fi

# ---------------------------------------------------------------------------
# Outside: make the namespace, loop broadcasts back on lo, run the inside part.
[ $# -ge 1 ] || usage
build=$(realpath "$1")
devices=${2:-5}
timeout_s=${3:-3}
if ! [[ "$devices" =~ ^[0-9]+$ ]] || [ "$devices" -lt 1 ] || [ "$devices" -gt 500 ]; then usage; fi
[[ "$timeout_s" =~ ^[0-9]+$ ]] || usage
for f in bin/rasim.exe bin/kvrfind.exe bin/KVRBRWS.DLL; do
  [ -f "$build/$f" ] || { echo "FAIL: $build/$f is missing"; exit 1; }
done
command -v ip >/dev/null || { echo "SKIPPED: no ip command"; exit 77; }

ns="kvr-disc-$$"
if ! err=$(ip netns add "$ns" 2>&1); then
  echo "SKIPPED: cannot create a network namespace here: ${err:-ip netns add failed}"
  exit 77
fi
cleanup() {
  # Whatever is still running in the namespace was started by this run.
  for pid in $(ip netns pids "$ns" 2>/dev/null); do kill -9 "$pid" 2>/dev/null; done
  ip netns del "$ns" 2>/dev/null
}
trap cleanup EXIT
trap 'exit 1' INT TERM
in_ns() { ip netns exec "$ns" "$@"; }

# One run at a time per build: the runs share the namespace's prefix.
exec 9>"$build/netns-prefix.lock"
flock -w 900 9 || { echo "FAIL: another run holds $build/netns-prefix.lock"; exit 1; }

in_ns ip link set lo up || exit 1
# With nothing but lo there is no route to 255.255.255.255 (sendto fails with
# "network unreachable"); this local-table broadcast route on lo delivers the
# datagram to every socket of the namespace bound to its port.
in_ns ip route add broadcast 255.255.255.255 dev lo table local scope link src 127.0.0.1 || exit 1
# Refuse to go on unless lo is the only interface and the broadcast stays on it.
links=$(in_ns ip -o link show | awk -F': ' '{print $2}' | tr '\n' ' ')
route=$(in_ns ip route get 255.255.255.255 2>&1)
if [ "$links" != "lo " ] || [[ "$route" != *"dev lo "* ]]; then
  echo "FAIL: the namespace is not loopback-only (links: $links; route: $route)"
  exit 1
fi

in_ns env -u DISPLAY bash "${BASH_SOURCE[0]}" --inside "$build" "$devices" "$timeout_s"
