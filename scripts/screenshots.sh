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
coproc UI { exec timeout -k 5 120 "$build/wine-run" "$build/bin/uishots.exe" 2>/dev/null; }
exec {from}<&"${UI[0]}" {to}>&"${UI[1]}"
ui_pid=$UI_PID
done_seen=0
while IFS= read -r -t 60 line <&"$from"; do
  line=${line%$'\r'}
  case $line in
    SCENE\ *)
      read -r _ name left top right bottom <<<"$line"
      (( left < 0 )) && left=0
      (( top < 0 )) && top=0
      sleep 0.2  # let the X server finish drawing what Wine sent
      if timeout 30 import -window root -crop "$((right - left))x$((bottom - top))+$left+$top" +repage \
           "$out/$name.png"; then
        echo "$name: $out/$name.png"
      else
        echo "$name: capture failed" >&2
      fi
      echo go >&"$to"
      ;;
    DONE) done_seen=1 ;;
    FAILED*) echo "uishots: $line" >&2 ;;
  esac
done
exec {to}>&- {from}<&-
wait "$ui_pid"
rc=$?
if [ "$rc" -ne 0 ] || [ "$done_seen" -ne 1 ]; then
  echo "uishots ended with $rc before showing every scene" >&2
  exit 1
fi

[ "$check" = "--check" ] || exit 0
status=0
for scene in "${scenes[@]}"; do
  file="$out/$scene.png"
  if [ ! -s "$file" ]; then
    echo "missing: $file" >&2; status=1; continue
  fi
  # A window photographed is at least a few dozen pixels each way and has
  # more than a couple of colours (a blank or black area has one).
  read -r width height colours < <(timeout 30 identify -format '%w %h %k\n' "$file" 2>/dev/null | head -1)
  if [ "${width:-0}" -lt 40 ] || [ "${height:-0}" -lt 16 ] || [ "${colours:-0}" -lt 3 ]; then
    echo "trivial: $file (${width:-?}x${height:-?}, ${colours:-?} colours)" >&2; status=1
  else
    echo "ok: $file (${width}x${height}, $colours colours)"
  fi
done
exit $status
