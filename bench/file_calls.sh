#!/usr/bin/env bash
# Counts the file-system calls our extraction makes per file entry, under Wine, from Wine's
# relay trace of the program's own calls into kernel32 (those whose return address lies in
# the program, which mingw links at 0x140000000, not in Wine's DLLs). Under Wine each such
# call is a round trip to the Wine server; on Windows each passes the antivirus filter.
#   bench/file_calls.sh BENCH-EXE ARCHIVE TARGET-FOLDER    (WINEPREFIX set by the caller)
set -euo pipefail
source "$(dirname "$0")/../scripts/env.sh"
bench=$1 archive=$2 target=$3
calls=(CreateDirectoryW CreateFileW WriteFile SetFileTime CloseHandle SetFileAttributesW)
include=$(printf 'KERNEL32.%s;' "${calls[@]}")
"$ZELKO_WINE" reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /d "${include%;}" /f >/dev/null 2>&1
trace=$(mktemp)
trap 'rm -f "$trace"; "$ZELKO_WINE" reg delete "HKCU\\Software\\Wine\\Debug" /v RelayInclude /f >/dev/null 2>&1 || true' EXIT
rm -rf "$target"; mkdir -p "$target"
WINEDEBUG=+relay "$ZELKO_WINE" "$bench" extract "$(zelko_windows_path "$archive")" \
  "$(zelko_windows_path "$target")" 2>"$trace" >/dev/null </dev/null
files=$(7zz l -slt "$archive" | grep -c '^Attributes = [^D]' || true)
folders=$(7zz l -slt "$archive" | grep -c '^Attributes = D' || true)
# The extraction's thread is the one that opens the archive.
name=$(basename "$archive")
thread=$(grep -m1 "Call KERNEL32.CreateFileW(.*$name" "$trace" | cut -d: -f1)
line="file-system calls for $files files and $folders folders:"
total=0
for call in "${calls[@]}"; do
  n=$(grep -c "^$thread:Call KERNEL32\.$call(.* ret=14" "$trace" || true)
  total=$((total + n))
  line="$line $call $n,"
done
echo "$line in all $total, $(awk "BEGIN {printf \"%.2f\", $total / $files}") per file"
