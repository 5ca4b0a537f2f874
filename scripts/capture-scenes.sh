#!/usr/bin/env bash
# capture-scenes.sh, sourced by the picture scripts:
#   capture_scenes OUT PROGRAM [ARGUMENTS...]
# runs a scene program under Wine (uishots, choosershots, setupshots): for
# every line "SCENE <name> <left> <top> <right> <bottom>" it prints,
# photographs that part of the X display into OUT/<name>.png and answers "go".
# Its other lines are passed on. Fails unless the program ends with DONE and
# exit code 0.
#   check_pictures FILE...
# fails unless each picture exists and shows more than a blank area.

capture_scenes() {
  local out=$1; shift
  local line name left top right bottom from to pid rc done_seen=0
  mkdir -p "$out"
  # Without a window manager on the display nobody would draw the title bars:
  # Wine draws them itself for the program's windows when they are unmanaged.
  timeout 60 wine reg add "HKCU\\Software\\Wine\\AppDefaults\\$(basename "$1")\\X11 Driver" \
    /v Managed /t REG_SZ /d N /f </dev/null >/dev/null 2>&1
  coproc SCENES { exec timeout -k 5 300 wine "$@" 2>/dev/null; }
  exec {from}<&"${SCENES[0]}" {to}>&"${SCENES[1]}"
  pid=$SCENES_PID
  while IFS= read -r -t 120 line <&"$from"; do
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
      FAILED*) echo "$(basename "$1"): $line" >&2 ;;
      *) echo "$line" ;;
    esac
  done
  exec {to}>&- {from}<&-
  wait "$pid"
  rc=$?
  if [ "$rc" -ne 0 ] || [ "$done_seen" -ne 1 ]; then
    echo "$(basename "$1") ended with $rc before showing every scene" >&2
    return 1
  fi
}

check_pictures() {
  local file width height colours status=0
  for file in "$@"; do
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
  return $status
}
