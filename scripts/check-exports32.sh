#!/usr/bin/env bash
# check-exports32.sh LIST BUILD32: every library in the 32-bit build exports
# exactly the decorated standard-call names listed ("FILE Name@bytes" lines).
set -uo pipefail
list=$1; bin="$2/bin"
status=0
for file in $(cut -d' ' -f1 "$list" | sort -u); do
  if [ ! -f "$bin/$file" ]; then echo "missing: $bin/$file"; status=1; continue; fi
  dump=$(i686-w64-mingw32-objdump -p "$bin/$file")
  [[ "$dump" == *"file format pei-i386"* ]] || { echo "$file is not a 32-bit image"; status=1; }
  actual=$(awk '/\[Ordinal\/Name Pointer\] Table/{t=1;next} t&&/^[ \t]*\[/{print $NF} t&&/^$/{t=0}' <<<"$dump" | sort)
  expected=$(grep "^$file " "$list" | cut -d' ' -f2 | sort)
  if [ "$actual" != "$expected" ]; then
    echo "$file exports differ:"; diff <(echo "$expected") <(echo "$actual"); status=1
  else
    echo "$file: $(echo "$expected" | wc -l) decorated exports"
  fi
done
[ $status -eq 0 ] && echo "1 passed, 0 failed" || echo "0 passed, 1 failed"
exit $status
