#!/usr/bin/env bash
# Makes the archives that the extraction tests read, with 7zz, into the folder given as $1.
# Every archive is listed with the command that made it. Runs on the build machine (Linux);
# the tests, under Wine, find the folder by the path compiled into them.
set -euo pipefail
out=$1
here=$(cd "$(dirname "$0")" && pwd)
export LC_ALL=C.UTF-8  # stored names are UTF-16 made from UTF-8 file names
rm -rf "$out"
mkdir -p "$out"
cd "$out"
z() { 7zz a -t7z -bso0 -bsp0 -bse0 "$@"; }

# --- The tree that every method must reproduce exactly --------------------------------
mkdir -p tree/docs/sub tree/empty_dir "tree/données"
printf 'read me\r\n' > tree/docs/sub/readme.txt
printf 'non-Latin name\n' > "tree/données/日本語.txt"
head -c 300000 /dev/urandom > tree/a_first.bin
: > tree/b_empty.txt
head -c 70000 /dev/urandom > tree/c_last.bin
cp /bin/ls tree/code.bin  # x86 code, so the branch filters have calls and jumps to convert
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

# --- Progress: one entry each, stored (no decoder progress) and with plain headers -------
mkdir -p p10m p1000 pempty pdir/a/b
head -c 10485760 /dev/urandom > p10m/ten.bin
head -c 1000 /dev/urandom > p1000/small.bin
: > pempty/empty.txt
(cd p10m && z ../progress_10m.7z -mx0 -mhc=off ten.bin)
(cd p1000 && z ../progress_1000.7z -mx0 -mhc=off small.bin)
(cd pempty && z ../progress_empty.7z -mx0 -mhc=off empty.txt)
(cd pdir && z ../progress_dir.7z -mx0 -mhc=off a)
head -c 8388608 /dev/urandom > p10m/big.bin
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
printf '\xff' | dd of=crc_flipped.7z bs=1 seek=100 conv=notrunc status=none
# LZMA data with one byte changed inside the packed stream.
cp lzma_big.7z lzma_flipped.7z
printf '\x55' | dd of=lzma_flipped.7z bs=1 seek=5000 conv=notrunc status=none
# Cut in the middle: the header at the end is gone.
head -c 4000000 lzma_big.7z > truncated.7z
# A names property of size 0 with every check sum right; 7zz writes no such header.
python3 "$here/make_header_archive.py" names_size_zero.7z names-size-zero

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
echo ok > .complete
