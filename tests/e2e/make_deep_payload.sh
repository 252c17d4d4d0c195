#!/usr/bin/env bash
# Makes a payload whose deepest file lies more than 600 characters below the folder it is
# extracted into, beside the test setup program: longer than any path buffer of MAX_PATH.
# Usage: make_deep_payload.sh SETUP_PAYLOAD_FOLDER OUTPUT.7z
set -euo pipefail
setup_folder=$1
output=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$setup_folder/setup.exe" "$work/"
deep=deep
for letter in a b c d e; do deep="$deep/$(printf "$letter%.0s" $(seq 1 120))"; done
mkdir -p "$work/$deep"
printf 'far down\n' > "$work/$deep/file.txt"
rm -f "$output"
(cd "$work" && 7zz a -t7z -mtm- -bso0 -bsp0 -bse0 "$output" setup.exe deep)
