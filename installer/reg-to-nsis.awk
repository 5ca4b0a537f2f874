# reg-to-nsis.awk: turns a REGEDIT4 file of keys, strings and dwords into the
# installer's include, so the installed data keeps one source:
#   !macro KvrWriteRegFile   writes every value of the file
#   !macro KvrRemoveRegFile  deletes every top key of the file with all below it
# Anything else the file could say (hex data, deletions, continued lines,
# keys left empty) stops the build with a message instead of being dropped.
function fail(message) {
  printf "%s:%d: %s\n", FILENAME, FNR, message > "/dev/stderr"
  failed = 1
  exit 1
}
function root_of(path) {
  if (path ~ /^HKEY_LOCAL_MACHINE\\/) return "HKLM"
  if (path ~ /^HKEY_CURRENT_USER\\/) return "HKCU"
  fail("a key under a root the installer does not write: " path)
}
# A quoted REGEDIT4 string (without its quotes) as the text it stands for.
function unescape(text,   out, i, c) {
  out = ""
  for (i = 1; i <= length(text); i++) {
    c = substr(text, i, 1)
    if (c == "\\") { i++; c = substr(text, i, 1) }
    out = out c
  }
  return out
}
# The same text inside an NSIS double-quoted string.
function nsis(text) {
  gsub(/\$/, "$$", text)
  gsub(/"/, "$\\\"", text)
  return "\"" text "\""
}
BEGIN { keys = 0; values = 0 }
{ sub(/\r$/, "") }
FNR == 1 { if ($0 != "REGEDIT4") fail("not a REGEDIT4 file"); next }
/^[ \t]*(;|$)/ { next }
/\\$/ { fail("continued lines are not supported") }
/^\[-/ { fail("key deletions are not supported") }
/^\[.*\]$/ {
  key = substr($0, 2, length($0) - 2)
  root = root_of(key)
  path = substr(key, index(key, "\\") + 1)
  keys++; key_root[keys] = root; key_path[keys] = path; key_values[keys] = 0
  next
}
{
  if (keys == 0) fail("a value before any key")
  line = $0
  if (substr(line, 1, 2) == "@=") {
    name = ""; rest = substr(line, 3)
  } else if (match(line, /^"([^"\\]|\\.)*"=/)) {
    name = unescape(substr(line, 2, RLENGTH - 3)); rest = substr(line, RLENGTH + 1)
  } else {
    fail("not a value line: " line)
  }
  values++
  if (rest ~ /^"([^"\\]|\\.)*"$/) {
    out[values] = sprintf("  WriteRegStr %s %s %s %s", root, nsis(path), nsis(name), nsis(unescape(substr(rest, 2, length(rest) - 2))))
  } else if (rest ~ /^dword:[0-9A-Fa-f]+$/ && length(rest) <= 14) {
    out[values] = sprintf("  WriteRegDWORD %s %s %s 0x%s", root, nsis(path), nsis(name), substr(rest, 7))
  } else {
    fail("a value type the installer does not write: " rest)
  }
  key_values[keys]++
}
END {
  if (failed) exit 1
  # A key with no values of its own must be made by one below it.
  for (k = 1; k <= keys; k++) {
    if (key_values[k] > 0) continue
    made = 0
    for (j = 1; j <= keys; j++)
      if (key_root[j] == key_root[k] && index(key_path[j], key_path[k] "\\") == 1 && key_values[j] > 0) made = 1
    if (!made) { FNR = 0; fail("the key " key_path[k] " would be left empty") }
  }
  print "; Generated from " source " by installer/reg-to-nsis.awk: edit that file instead."
  print "!macro KvrWriteRegFile"
  for (v = 1; v <= values; v++) print out[v]
  print "!macroend"
  print "!macro KvrRemoveRegFile"
  for (k = 1; k <= keys; k++) {
    top = 1
    for (j = 1; j <= keys; j++)
      if (j != k && key_root[j] == key_root[k] && index(key_path[k], key_path[j] "\\") == 1) top = 0
    for (j = 1; j < k; j++)
      if (key_root[j] == key_root[k] && key_path[j] == key_path[k]) top = 0
    if (top) printf "  DeleteRegKey %s %s\n", key_root[k], nsis(key_path[k])
  }
  print "!macroend"
}
