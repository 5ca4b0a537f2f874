#!/usr/bin/env bash
# bench-discovery.sh BUILD: the broadcast search of KVRBRWS.DLL against 100
# simulated devices with the applet's 3-second time-out, inside a network
# namespace of its own (scripts/netns-discovery.sh). Prints how many of the
# 100 were found, how long the call took and when the last record arrived.
# Exit 77 with a message where no namespace can be made.
set -uo pipefail
[ $# -ge 1 ] || { echo "usage: $0 BUILD" >&2; exit 2; }
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
out=$(mktemp)
trap 'rm -f "$out"' EXIT
NETNS_FIND_OPTIONS=--callback bash "$here/netns-discovery.sh" "$1" 100 3 >"$out" 2>&1
rc=$?
if [ "$rc" = 77 ]; then
  echo "Discovery over the network: skipped ($(grep -m1 SKIPPED "$out"))"
  exit 77
fi
figures=$(grep -m1 '^FIGURES' "$out")
if [ -z "$figures" ]; then
  cat "$out"
  exit 1
fi
field() { sed -n "s/.* $1=\([^ ]*\).*/\1/p" <<<"$figures"; }
echo "Discovery over the network (broadcast in a loopback-only namespace, one rasim, 100 devices):"
echo "  found $(field found) devices, each once: $([ "$rc" = 0 ] && echo yes || echo NO)"
echo "  HLPFindDevices with time-out $(field timeout_s) s returned after $(field elapsed_ms) ms"
echo "  last record arrived $(field last_record_ms) ms after the call began"
[ "$rc" = 0 ] || grep '^FAIL' "$out"
exit "$rc"
