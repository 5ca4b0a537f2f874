#!/usr/bin/env bash
# fuzz.sh [SECONDS]: builds the parser fuzz targets natively with clang and
# libFuzzer into $FUZZ_BUILD (default build-fuzz/) and runs each for SECONDS
# (default 10). Fails on any crash or broken invariant; the input that shows
# it is kept in $FUZZ_BUILD/artifacts/. Exits 77 when clang++ or libFuzzer
# is missing, so ctest reports a skip.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-10}"
out="${FUZZ_BUILD:-$root/build-fuzz}"
cxx="${FUZZ_CXX:-clang++}"
mkdir -p "$out"

if ! command -v "$cxx" >/dev/null; then
  echo "fuzz: $cxx not found (scripts/install-deps.sh installs it)"
  exit 77
fi
probe="$out/probe.cpp"
echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }' > "$probe"
if ! "$cxx" -fsanitize=fuzzer "$probe" -o "$out/probe" 2>/dev/null; then
  echo "fuzz: $cxx cannot link with -fsanitize=fuzzer (libFuzzer missing)"
  exit 77
fi

flags=(-std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all
       -Wall -Wextra -Wshadow -Werror
       -I"$root/common" -I"$root/browse/snmp" -I"$root/browse/catalogue" -I"$root/browse/discovery"
       -I"$root/chooser" -I"$root/service/protocol")
snmp="$root/browse/snmp/SnmpCodec.cpp"
catalogue="$root/browse/catalogue/FieldString.cpp"
devicefile="$root/browse/discovery/DeviceFile.cpp"
wire="$root/service/protocol/WireCodec.cpp $root/service/protocol/ReceiveFramer.cpp"
pipe="$root/service/protocol/PipeProtocol.cpp"
fuzz="$root/tests/fuzz"

# name, then its sources
targets=(
  "snmp_reply $fuzz/SnmpReplyFuzz.cpp $snmp"
  "discovery_reply $fuzz/DiscoveryReplyFuzz.cpp $snmp"
  "devicefile $fuzz/DeviceFileFuzz.cpp $devicefile $catalogue"
  "fieldstring $fuzz/FieldStringFuzz.cpp $catalogue"
  "oldprofile $fuzz/OldProfileFuzz.cpp $root/chooser/OldProfile.cpp $root/chooser/RedirectionText.cpp"
  "wire_framer $fuzz/WireFramerFuzz.cpp $wire"
  "pipe_message $fuzz/PipeMessageFuzz.cpp $pipe"
)

# Seeds: text files from the tree, SNMP replies written by a small program.
"$cxx" -std=c++20 -O1 -Wall -Wextra -Wshadow -Werror -I"$root/tests/support" "$fuzz/SnmpSeeds.cpp" -o "$out/snmp_seeds"
mkdir -p "$out/seeds/snmp"
"$out/snmp_seeds" "$out/seeds/snmp"
seed_dirs() {
  case "$1" in
    snmp_reply|discovery_reply) echo "$out/seeds/snmp" ;;
    *) echo "$fuzz/seeds/$1" ;;
  esac
}

for target in "${targets[@]}"; do
  read -r name sources <<<"$target"
  echo "fuzz: building $name"
  # shellcheck disable=SC2086
  "$cxx" "${flags[@]}" $sources -o "$out/${name}_fuzz"
done

failed=()
for target in "${targets[@]}"; do
  read -r name _ <<<"$target"
  corpus="$out/corpus/$name"
  artifacts="$out/artifacts/$name"
  mkdir -p "$corpus" "$artifacts"
  echo "fuzz: running $name for ${seconds}s"
  if ! "$out/${name}_fuzz" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
         -artifact_prefix="$artifacts/" "$corpus" "$(seed_dirs "$name")" >"$out/$name.log" 2>&1; then
    tail -n 40 "$out/$name.log"
    failed+=("$name")
  else
    grep -E '^stat::(number_of_executed_units|new_units_added)' "$out/$name.log" | sed "s/^/fuzz: $name /"
  fi
done

if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzz: FAILED: ${failed[*]} (inputs in $out/artifacts/)"
  exit 1
fi
echo "fuzz: all targets ran ${seconds}s without a finding"
