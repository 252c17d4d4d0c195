#!/usr/bin/env bash
# Makes the fuzz seeds that the extraction test archives lack, into the folder given as $1:
# streams and headers the decoders and the header reader would otherwise meet only by chance.
# Plain headers (-mhc=off), so that a changed header byte is read as it stands. The same
# bytes on every run (tests/extract/fixture_tools.sh).
set -euo pipefail
out=$1
root=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TZ=UTC
umask 022
source "$root/tests/extract/fixture_tools.sh"
# z ARCHIVE ...: anew, not added to a seed left by an earlier run.
z() {
  settle_times
  rm -f "$1"
  7zz a -t7z -bso0 -bsp0 -bse0 -mhc=off "$@"
}

cd "$work"
seq 1 3000 > small.txt
noise seed_small 3000 > small.bin
seq 1 700000 > several_mb.txt  # about 4.6 MB, several 2 MiB blocks
# LZMA with an end mark after the data.
z "$out/seed_lzma_eos.7z" -m0=LZMA:eos small.txt small.bin
# LZMA2 cut into blocks that each start with a dictionary reset.
z "$out/seed_lzma2_blocks.7z" -mmt=4 -m0=LZMA2:d=1m:c=2m several_mb.txt
# Hand-made headers 7zz never writes.
python3 "$root/tests/extract/make_header_archive.py" "$out/seed_no_names.7z" no-names
python3 "$root/tests/extract/make_header_archive.py" "$out/seed_named.7z" named
