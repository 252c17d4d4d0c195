#!/usr/bin/env bash
# Packing benchmark: for payloads of the given sizes in MB (incompressible data stored with
# 7zz -mx0), the native packer's wall time and peak memory (/usr/bin/time -v), then the largest
# archive that packs (found from the refusal of a larger one) and whether that installer
# extracts its payload under Wine. Not a test; the scratch files live in $SCRATCH (default
# /tmp/zelko-pack-bench) and are deleted at the end; results go to build/pack-bench.txt.
#   bench/pack_bench.sh [SIZE-MB...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/env.sh"
[ $# -gt 0 ] && sizes=("$@") || sizes=(300 1300 2500)
scratch=${SCRATCH:-/tmp/zelko-pack-bench}
packer=$ZELKO_BUILD/native/bin/zelko_pack
stub=$ZELKO_BUILD/bin/ZelkoSFX.exe
results=$ZELKO_BUILD/pack-bench.txt
rm -rf "$scratch"
mkdir -p "$scratch"
trap 'rm -rf "$scratch"' EXIT
: > "$results"
say() { echo "$*" | tee -a "$results"; }
printf '[INSTALL]\nProductCode={7A2B3C4D-5E6F-4A1B-8C2D-3E4F5A6B7C8D}\n' > "$scratch/setup.ini"

# archive NAME BYTES: an archive of one file of BYTES random bytes, stored.
archive() {
  head -c "$2" /dev/urandom > "$scratch/$1.bin"
  (cd "$scratch" && 7zz a -t7z -mx0 -bso0 -bsp0 "$1.7z" "$1.bin")
  rm -f "$scratch/$1.bin"
}
# pack NAME: packs NAME.7z into NAME.exe; prints "rc seconds peak-KB" and keeps the output.
pack() {
  set +e
  /usr/bin/time -v -o "$scratch/time.txt" "$packer" --stub "$stub" --config "$scratch/setup.ini" \
    --archive "$scratch/$1.7z" --fill-sizes --out "$scratch/$1.exe" > "$scratch/pack.txt" 2>&1
  local rc=$?
  set -e
  local wall peak
  wall=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$scratch/time.txt")
  peak=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$scratch/time.txt")
  echo "$rc $wall $peak"
}

say "native packer: $packer"
say "df -h $scratch: $(df -h "$scratch" | tail -1)"
for mb in "${sizes[@]}"; do
  archive "p$mb" $((mb * 1000 * 1000))
  read -r rc wall peak < <(pack "p$mb")
  say "payload ${mb} MB (archive $(stat -c %s "$scratch/p$mb.7z") bytes): exit $rc, wall $wall, peak RSS ${peak} KB"
  [ "$rc" = 0 ] || say "  $(cat "$scratch/pack.txt")"
  rm -f "$scratch/p$mb.7z" "$scratch/p$mb.exe"
done

# The largest that packs: a refused archive of 2,200 MB says by how much it is too large.
archive over 2200000000
read -r rc wall peak < <(pack over)
over=$(stat -c %s "$scratch/over.7z")
rm -f "$scratch/over.7z"
excess=$(sed -n 's/.*at least \([0-9,]*\) bytes\{0,1\} smaller.*/\1/p' "$scratch/pack.txt" | tr -d ,)
[ -n "$excess" ] || { say "no refusal for 2,200 MB: $(cat "$scratch/pack.txt")"; exit 1; }
largest=$((over - excess))
overhead=$((over - 2200000000))  # what 7zz adds to the file it stores
archive max $((largest - overhead))
read -r rc wall peak < <(pack max)
say "largest archive that packs: $(stat -c %s "$scratch/max.7z") bytes: exit $rc, wall $wall, peak RSS ${peak} KB"
archive max1 $((largest - overhead + 1))
read -r rc1 _ _ < <(pack max1)
say "one byte more ($(stat -c %s "$scratch/max1.7z") bytes): exit $rc1: $(cat "$scratch/pack.txt")"
rm -f "$scratch/max1.7z"

# Does the largest installer run under Wine? Extraction only, into the scratch folder.
if [ "$rc" = 0 ]; then
  zelko_wine_prefix "$ZELKO_BUILD/wine-bench"
  rm -f "$scratch/max.7z"
  start=$(date +%s)
  set +e
  result=$("$ZELKO_WINE" "$ZELKO_BUILD/bin/zelko_launch.exe" "$(zelko_windows_path "$scratch/max.exe")" \
    /sfx_nu /sfx_ne "/sfx_o$(zelko_windows_path "$scratch/out")" </dev/null)
  set -e
  say "the largest installer under Wine: $result after $(( $(date +%s) - start )) s; extracted: $(ls -l "$scratch/out" 2>/dev/null | tail -n +2)"
  "$ZELKO_WINESERVER" -k 2>/dev/null || true
fi
