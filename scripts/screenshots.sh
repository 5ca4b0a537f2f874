#!/usr/bin/env bash
# screenshots.sh BUILD [--check]: photographs each window of KVRAUTH.DLL
# (uishots) and of KVRUI.CPL, the Chooser (choosershots), from the X display
# into BUILD/screenshots/<scene>.png. Runs inside scripts/with-wine.sh (which
# gives the Wine prefix and the display). With --check it also fails unless
# every picture exists and shows more than a blank area.
set -uo pipefail
build=$(realpath "$1")
check=${2:-}
out="$build/screenshots"
scenes=(auth password modem-small modem-large narration
        chooser-com1 chooser-com2 chooser-com3 chooser-com4 chooser-options chooser-about chooser-advanced
        chooser-copy-to chooser-searching chooser-browse chooser-device-properties chooser-group-properties
        chooser-add-device chooser-upgrade-question chooser-upgrade-progress chooser-upgrade-complete)
if [ -z "${DISPLAY:-}" ] || [ -z "${WINEPREFIX:-}" ]; then
  echo "screenshots.sh: run it through scripts/with-wine.sh $1" >&2
  exit 2
fi
mkdir -p "$out"
for scene in "${scenes[@]}"; do rm -f "$out/$scene.png"; done

# Each program shows one scene at a time and waits for a line before the next.
# choosershots' devices answer on UDP 161, which it may have to wait for.
# shellcheck source=scripts/capture-scenes.sh
source "$(dirname "${BASH_SOURCE[0]}")/capture-scenes.sh"
status=0
capture_scenes "$out" "$build/bin/uishots.exe" || status=1
capture_scenes "$out" "$build/bin/choosershots.exe" || status=1
[ "$status" -eq 0 ] || exit 1

[ "$check" = "--check" ] || exit 0
pictures=()
for scene in "${scenes[@]}"; do pictures+=("$out/$scene.png"); done
check_pictures "${pictures[@]}"
