#!/usr/bin/env bash
# screenshots.sh BUILD [--check]: photographs each window of KVRAUTH.DLL
# from the X display into BUILD/screenshots/<scene>.png. Runs inside
# scripts/with-wine.sh (which gives the Wine prefix and the display). With
# --check it also fails unless every picture exists and shows more than a
# blank area.
set -uo pipefail
build=$(realpath "$1")
check=${2:-}
out="$build/screenshots"
scenes=(auth password modem-small modem-large narration)
if [ -z "${DISPLAY:-}" ] || [ -z "${WINEPREFIX:-}" ]; then
  echo "screenshots.sh: run it through scripts/with-wine.sh $1" >&2
  exit 2
fi
mkdir -p "$out"
for scene in "${scenes[@]}"; do rm -f "$out/$scene.png"; done

# Without a window manager on the display nobody would draw the title bars:
# Wine draws them itself for this program's windows when they are unmanaged.
timeout 60 "$build/wine-run" reg add 'HKCU\Software\Wine\AppDefaults\uishots.exe\X11 Driver' \
  /v Managed /t REG_SZ /d N /f >/dev/null 2>&1

# The program shows one scene at a time and waits for a line before the next.
# shellcheck source=scripts/capture-scenes.sh
source "$(dirname "${BASH_SOURCE[0]}")/capture-scenes.sh"
capture_scenes "$out" "$build/bin/uishots.exe" || exit 1

[ "$check" = "--check" ] || exit 0
pictures=()
for scene in "${scenes[@]}"; do pictures+=("$out/$scene.png"); done
check_pictures "${pictures[@]}"
