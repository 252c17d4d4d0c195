#!/usr/bin/env bash
# Makes the archives whose unpacked sizes the packer tests check, with 7zz, into the folder
# given as $1. The files are zeros, which 7zz packs to almost nothing; only their sizes matter.
# The same bytes on every build: fixed times and mode bits (../extract/fixture_tools.sh).
set -euo pipefail
out=$1
here=$(cd "$(dirname "$0")" && pwd)
export TZ=UTC
umask 022
source "$here/../extract/fixture_tools.sh"
rm -rf "$out"
mkdir -p "$out"
cd "$out"
z() {
  settle_times
  7zz a -t7z -bso0 -bsp0 -bse0 "$@"
}
mib=1048576
# zeros PATH BYTES
zeros() {
  mkdir -p "$(dirname "$1")"
  head -c "$2" /dev/zero > "$1"
}

zeros empty/a.txt 0
zeros empty/b.txt 0
mkdir -p empty/folder
(cd empty && z ../empty_files.7z a.txt b.txt folder)

zeros byte/x.bin 1
(cd byte && z ../one_byte.7z x.bin)

# The folder entry "docs" is stored beside its file and must count nothing.
zeros mib/docs/x.bin "$mib"
(cd mib && z ../one_mib_in_a_folder.7z docs)

zeros mib_byte/x.bin "$((mib + 1))"
(cd mib_byte && z ../one_mib_and_a_byte.7z x.bin)

# Three half MiB: 2 in all, where rounding each file up would make 3. One block each, and
# the header stored plain.
for name in a b c; do zeros halves/$name.bin "$((mib / 2))"; done
(cd halves && z ../halves_plain_header.7z -ms=off -mhc=off a.bin b.bin c.bin)

# Seven files of 400,000 bytes (2.67 MiB) in one solid block, with a packed header.
for n in 1 2 3 4 5 6 7; do zeros solid/f$n.bin 400000; done
(cd solid && z ../solid_packed_header.7z -ms=on -mhc=on ./*)

# 64 MiB in LZMA2: one block, which --fill-sizes points out, and blocks of 32 MiB.
zeros large/x.bin "$((64 * mib))"
(cd large && z ../large_one_block.7z -m0=LZMA2:d=1m x.bin)
(cd large && z ../large_blocks.7z -m0=LZMA2:d=1m:c=32m x.bin)

# Names that a Linux folder holds but that Windows cannot create: a character no Windows name
# may hold, a control character, and one name (in two cases) as a file and as a folder.
mkdir -p names clash/docs
printf x > 'names/a<b.txt'
printf x > $'names/tab\there.txt'
printf x > clash/docs/x.txt
printf x > clash/DOCS
(cd names && z ../forbidden_character.7z 'a<b.txt')
(cd names && z ../control_character.7z $'tab\there.txt')
(cd clash && z ../file_and_folder.7z DOCS docs)

echo ok > .complete
