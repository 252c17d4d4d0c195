#!/usr/bin/env bash
# Makes the archives that the extraction tests read, with 7zz, into the folder given as $1.
# Every archive is listed with the command that made it. Runs on the build machine (Linux);
# the tests, under Wine, find the folder beside the built programs.
#   make_fixtures.sh OUT CODE.EXE
# CODE.EXE is an x86-64 Windows program of the same build; its code is the input of the branch
# filters. Every build makes the same bytes: the noise comes from fixed seeds, and every input
# has a fixed time and fixed mode bits, which 7zz stores.
set -euo pipefail
out=$1
code_program=$(realpath "${2:?make_fixtures.sh OUT CODE.EXE: no program given for the code}")
here=$(cd "$(dirname "$0")" && pwd)
export LC_ALL=C.UTF-8  # stored names are UTF-16 made from UTF-8 file names
export TZ=UTC
umask 022
rm -rf "$out"
mkdir -p "$out"
cd "$out"

source "$here/fixture_tools.sh"
z() {
  settle_times
  7zz a -t7z -bso0 -bsp0 -bse0 "$@"
}

# --- The tree that every method must reproduce exactly --------------------------------
mkdir -p tree/docs/sub tree/empty_dir "tree/données"
printf 'read me\r\n' > tree/docs/sub/readme.txt
printf 'non-Latin name\n' > "tree/données/日本語.txt"
noise a_first 300000 > tree/a_first.bin
: > tree/b_empty.txt
noise c_last 70000 > tree/c_last.bin
pe_code "$code_program" > tree/code.bin  # x86 code: calls and jumps for the branch filters
seq 1 200000 > tree/numbers.txt
printf 'locked\n' > tree/readonly.txt
chmod 444 tree/readonly.txt
touch -d '2001-02-03 04:05:06' tree/docs/sub/readme.txt tree/readonly.txt
touch -d '1999-12-31 23:59:58' tree/a_first.bin tree/b_empty.txt
(cd tree && z ../tree_lzma_solid.7z -m0=LZMA -ms=on ./*)
(cd tree && z ../tree_lzma_nonsolid.7z -m0=LZMA -ms=off ./*)
(cd tree && z ../tree_lzma2.7z -m0=LZMA2 ./*)
(cd tree && z ../tree_bcj_lzma.7z -m0=LZMA -mf=BCJ ./*)
(cd tree && z ../tree_bcj2.7z -m0=LZMA -mf=BCJ2 ./*)
(cd tree && z ../tree_copy.7z -mx0 ./*)
(cd tree && z ../tree_arm64.7z -m0=LZMA2 -mf=ARM64 ./*)
(cd tree && z ../tree_delta.7z -m0=LZMA -mf=Delta:4 ./*)
(cd tree && z ../tree_plain_header.7z -m0=LZMA -mhc=off ./*)
(cd tree && z ../tree_lzma2_blocks.7z -mmt=4 -m0=LZMA2:d=1m:c=1m ./*)

# The same archives with the check sum of their last file (readonly.txt) inverted in a plain
# header: everything decodes, and only that file fails its check.
last_crc=$(cd tree && 7zz l -slt ../tree_copy.7z readonly.txt | sed -n 's/^CRC = //p')
for method in lzma_solid:"-m0=LZMA" lzma2:"-m0=LZMA2" lzma2_blocks:"-mmt=4 -m0=LZMA2:d=1m:c=1m" \
    bcj_lzma:"-m0=LZMA -mf=BCJ" bcj2:"-m0=LZMA -mf=BCJ2" copy:"-mx0" arm64:"-m0=LZMA2 -mf=ARM64"; do
  # shellcheck disable=SC2086  # the options are words
  (cd tree && z "../broken_${method%%:*}.7z" ${method#*:} -mhc=off ./*)
  python3 "$here/break_last_crc.py" "broken_${method%%:*}.7z" "$last_crc"
done

# A BCJ2 archive whose range-coder stream carries one byte more than the
# decoder uses; everything else is right.
(cd tree && z ../bcj2_long_rc.7z -m0=LZMA -mf=BCJ2 -mhc=off ./*)
python3 "$here/grow_pack.py" bcj2_long_rc.7z 1

# --- A payload whose file lies more than 300 characters deep: six folders of 51 characters.
part=long_folder_name_long_folder_name_long_folder_name
deep=$part/$part/$part/$part/$part/$part
mkdir -p "long/$deep"
printf 'deep inside\n' > "long/$deep/deep_file.txt"
(cd long && z ../long_path.7z ./*)
rm -r long

# --- A folder larger than what the extraction may hold: 160 MiB in one LZMA2 stream with a
# dictionary of 1 MiB. Zeros, so the archive stays small.
mkdir -p large
head -c $((160 << 20)) /dev/zero > large/zeros.bin
(cd large && z ../large_folder.7z -m0=LZMA2:d=1m -mhc=off zeros.bin)
rm -r large

# --- LZMA2 in independent blocks, as a multi-threaded encoder writes them (c: block size) --
# Text that compresses, with noise in the middle that the encoder stores as it is, so that
# blocks begin with either kind of chunk. Headers plain, so the tests find the packed data.
mkdir -p blocks
seq 1 900000 > blocks/a_numbers.txt
noise b_noise 1500000 > blocks/b_noise.bin
seq 900001 1500000 > blocks/c_numbers.txt
(cd blocks && z ../lzma2_blocks.7z -mmt=4 -m0=LZMA2:d=1m:c=2m -mhc=off ./*)
(cd blocks && z ../lzma2_one_block.7z -m0=LZMA2:d=1m -mhc=off ./*)

# --- Progress: one entry each, stored (no decoder progress) and with plain headers -------
mkdir -p p10m p1000 pempty pdir/a/b
noise ten 10485760 > p10m/ten.bin
noise small 1000 > p1000/small.bin
: > pempty/empty.txt
(cd p10m && z ../progress_10m.7z -mx0 -mhc=off ten.bin)
(cd p1000 && z ../progress_1000.7z -mx0 -mhc=off small.bin)
(cd pempty && z ../progress_empty.7z -mx0 -mhc=off empty.txt)
(cd pdir && z ../progress_dir.7z -mx0 -mhc=off a)
noise big 8388608 > p10m/big.bin
(cd p10m && z ../lzma_big.7z -m0=LZMA -mhc=off big.bin)
(cd p1000 && z ../lzma_small.7z -m0=LZMA -mhc=off small.bin)
# A raw LZMA stream with an end mark (.lzma: 5 property bytes, 8 size bytes, the data).
xz --format=lzma -c p1000/small.bin > small_with_mark.lzma

# --- Bad input -------------------------------------------------------------------------
printf 'this is not an archive\n' > not_an_archive.7z
(cd pdir && z ../empty_archive.7z ./nothing-matches-this-* 2>/dev/null) || true
[ -s empty_archive.7z ] || { echo "7zz made no empty archive" >&2; exit 1; }
(cd p1000 && z ../ppmd.7z -m0=PPMd small.bin)
# Stored data with one byte changed: the entry's check sum fails.
cp progress_1000.7z crc_flipped.7z
flip crc_flipped.7z 100
# LZMA data with one byte changed inside the packed stream.
cp lzma_big.7z lzma_flipped.7z
flip lzma_flipped.7z 5000
# Cut in the middle: the header at the end is gone.
head -c 4000000 lzma_big.7z > truncated.7z
# A names property of size 0 with every check sum right; 7zz writes no such header.
python3 "$here/make_header_archive.py" names_size_zero.7z names-size-zero
# One entry with its name, time and attributes; then the same with one of them twice, which
# breaks the format. Every check sum is right.
python3 "$here/make_header_archive.py" header_named.7z named
for property in names times attributes; do
  python3 "$here/make_header_archive.py" "repeated_$property.7z" "repeated-$property"
done

# --- Hostile names: a harmless entry first, then the hostile one (7zz rn renames freely) --
mkdir -p hostile
printf 'harmless\n' > hostile/ok.txt
printf 'hostile\n' > hostile/x.txt
n=0
while IFS= read -r name; do
  (cd hostile && z "../hostile_$n.7z" ok.txt x.txt)
  7zz rn -bso0 -bse0 "hostile_$n.7z" x.txt "$name"
  printf '%s\n' "$name" > "hostile_$n.name"
  n=$((n + 1))
done <<'NAMES'
../evil.txt
sub/../../evil.txt
/evil.txt
C:evil.txt
x.txt:stream
..\evil.txt
NUL.txt
com1
trailing./evil.txt
blank /evil.txt
NAMES

# --- LZMA streams with an end mark, of exact packed sizes (7zz -m0=LZMA:eos) -------------
# The decoder reads a coder in looks of 16,384 bytes from the start of its packed stream.
# eos_N.7z holds one file of random bytes (eos/data_N.bin) whose LZMA stream, end mark
# included, is exactly N bytes long, so that the mark ends just before, on or just after a
# look boundary. The file's size is found by trying, since random bytes grow the stream by
# about one byte each; a size the stream skips over makes it start again with other bytes.
mkdir -p eos
eos_archive() {
  local target=$1 n=$(($1 * 98 / 100)) packed tries=0
  noise "eos $target 0" 40000 > eos/pool
  while :; do
    head -c "$n" eos/pool > eos/data.bin
    rm -f "eos_$target.7z"
    (cd eos && z "../eos_$target.7z" -m0=LZMA:eos -mhc=off data.bin)
    packed=$(7zz l -slt "eos_$target.7z" | sed -n 's/^Packed Size = //p')
    [ "$packed" = "$target" ] && break
    n=$((n + target - packed))
    tries=$((tries + 1))
    if [ $((tries % 16)) = 0 ]; then noise "eos $target $tries" 40000 > eos/pool; fi
    [ $tries -lt 200 ] || { echo "no LZMA stream of $target bytes" >&2; exit 1; }
  done
  mv eos/data.bin "eos/data_$target.bin"
}
for size in 16380 16383 16384 16385 16386 16388 16390 16393 16397; do eos_archive "$size"; done
rm eos/pool

# The other coders over the same 8 MiB and 1,000 bytes as lzma_big.7z and lzma_small.7z: every
# coder reports, pauses and stops between its steps.
(cd p10m && z ../lzma2_big.7z -m0=LZMA2 -mhc=off big.bin)
(cd p1000 && z ../lzma2_small.7z -m0=LZMA2 -mhc=off small.bin)
(cd p10m && z ../copy_big.7z -mx0 -mhc=off big.bin)

# --- An archive without names ------------------------------------------------------------
# 7z lets a file list go without its names property, and the SDK then keeps no name table;
# 7zz never writes such a list, so no_names.7z is written here byte by byte: one stored file
# of 9 bytes with its check sum, listed as one file without any property. gzip's trailer
# holds the CRC-32 of what it packed, in the byte order 7z uses.
crc32() { gzip -c | tail -c 8 | head -c 4; }
printf 'no names\n' > no_names.data
{
  printf '\x01\x04'                                 # header; the main streams:
  printf '\x06\x00\x01\x09\x09\x00'                 # one packed stream of 9 bytes at 0,
  printf '\x07\x0b\x01\x00\x01\x01\x00\x0c\x09\x00' # one folder, copied, giving 9 bytes,
  printf '\x08\x0a\x01'; crc32 < no_names.data      # the check sum of its one file;
  printf '\x00\x00'                                 # end of the streams;
  printf '\x05\x01\x00'                             # one file, no properties;
  printf '\x00'                                     # end of the header
} > no_names.header
{
  printf '\x09\0\0\0\0\0\0\0'                       # the header follows the 9 data bytes,
  printf "\\x$(printf %02x "$(stat -c %s no_names.header)")\0\0\0\0\0\0\0"  # its size,
  crc32 < no_names.header                           # its check sum
} > no_names.start
{
  printf '7z\xbc\xaf\x27\x1c\x00\x04'
  crc32 < no_names.start
  cat no_names.start no_names.data no_names.header
} > no_names.7z
rm no_names.data no_names.header no_names.start
7zz t -bso0 -bse0 no_names.7z  # 7zz reads it as a valid archive
echo ok > .complete
