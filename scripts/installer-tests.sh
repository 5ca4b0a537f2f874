#!/usr/bin/env bash
# installer-tests.sh BUILD: runs BUILD/bin/installer_tests.exe (the set-up
# installed, used, upgraded and removed) in a fresh Wine prefix with its own
# wineserver, BUILD/installer-prefix (scripts/installer-prefix.sh), then
# photographs the set-up's pages there and checks the pictures
# (scripts/installer-screenshots.sh). Extra arguments go to the test program
# (e.g. --gtest_filter=...); with them the pictures are left out.
set -uo pipefail
[ $# -ge 1 ] || { echo "usage: $0 BUILD [GTEST OPTIONS]" >&2; exit 2; }
build=$(realpath "$1"); shift
for f in RezoRivSetup.exe bin/installer_tests.exe bin/setupshots.exe bin/rasim.exe bin/portdrv.exe; do
  [ -f "$build/$f" ] || { echo "FAIL: $build/$f is missing (make installer, make build64)"; exit 1; }
done
# shellcheck source=scripts/installer-prefix.sh
source "$(dirname "${BASH_SOURCE[0]}")/installer-prefix.sh"
installer_prefix "$build"
[ -n "${KVR_READONLY_DIR:-}" ] || echo "(chattr +i is not possible here: no read-only folder case)"
wine "$build/bin/installer_tests.exe" "$@" </dev/null
rc=$?
[ $# -eq 0 ] || exit $rc
KVR_INSTALLER_PREFIX_READY=1 bash "$(dirname "${BASH_SOURCE[0]}")/installer-screenshots.sh" "$build" --check </dev/null
pictures=$?
[ $rc -eq 0 ] && [ $pictures -eq 0 ]
