#!/usr/bin/env bash
# installer-screenshots.sh BUILD [--check]: photographs the set-up's pages
# (welcome, folder, installed, finish, the message about a file in use and the
# aborted run, the uninstaller's confirmation with its check box and its
# finish) into BUILD/screenshots/<scene>.png, driving BUILD/RezoRivSetup.exe
# with setupshots.exe. It installs for real, so it runs in the installer's
# own prefix (scripts/installer-prefix.sh), or in the one its caller already
# made when KVR_INSTALLER_PREFIX_READY=1. With --check it also fails unless
# every picture exists and shows more than a blank area.
set -uo pipefail
[ $# -ge 1 ] || { echo "usage: $0 BUILD [--check]" >&2; exit 2; }
build=$(realpath "$1")
check=${2:-}
out="$build/screenshots"
scenes=(setup-welcome setup-directory setup-installed setup-finish setup-file-in-use setup-aborted
        uninstall-confirm uninstall-finish)
here=$(dirname "${BASH_SOURCE[0]}")
if [ "${KVR_INSTALLER_PREFIX_READY:-}" != 1 ]; then
  # shellcheck source=scripts/installer-prefix.sh
  source "$here/installer-prefix.sh"
  installer_prefix "$build"
fi
mkdir -p "$out"
for scene in "${scenes[@]}"; do rm -f "$out/$scene.png"; done

# Without a window manager Wine draws the title bars itself, for the windows
# of programs marked unmanaged.
for program in RezoRivSetup.exe kvr-uninstall.exe; do
  timeout 60 wine reg add "HKCU\\Software\\Wine\\AppDefaults\\$program\\X11 Driver" \
    /v Managed /t REG_SZ /d N /f </dev/null >/dev/null 2>&1
done

# shellcheck source=scripts/capture-scenes.sh
source "$here/capture-scenes.sh"
capture_scenes "$out" "$build/bin/setupshots.exe" "$(winepath -w "$build/RezoRivSetup.exe")" || exit 1

[ "$check" = "--check" ] || exit 0
pictures=()
for scene in "${scenes[@]}"; do pictures+=("$out/$scene.png"); done
check_pictures "${pictures[@]}"
