#!/usr/bin/env bash
# Makes a payload whose extraction takes seconds under Wine, so that a test can cancel in the
# middle of it: the test setup program first, then thousands of small files (each costs a few
# file calls). Usage: make_long_payload.sh SETUP_PAYLOAD_FOLDER OUTPUT.7z
set -euo pipefail
setup_folder=$1
output=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$setup_folder/setup.exe" "$work/"
mkdir "$work/data"
for i in $(seq 1 3000); do printf 'file %d of the long payload\n' "$i" > "$work/data/$i.txt"; done
rm -f "$output"
# Non-solid with the setup program first in the list, as the extraction order follows it.
(cd "$work" && 7zz a -t7z -ms=off -mtm- -bso0 -bsp0 -bse0 "$output" setup.exe data)
