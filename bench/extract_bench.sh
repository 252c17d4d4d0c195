#!/usr/bin/env bash
# Extraction benchmark: builds a payload of Windows PE files and text (Wine's own DLLs and
# documentation), packs it with LZMA2, BCJ+LZMA and BCJ2, and in one run measures under Wine
# the whole packed installer (silent, extract only) against the SDK's example extractor built
# from the same sources with the same compiler (wall-time ratio from interleaved runs, peak
# private memory), the delay from a
# confirmed cancel to the end of the extraction, and natively (no Wine, no files) our folder
# decoder against the SDK's own, and the file-system calls per entry (bench/file_calls.sh).
# The part "parallel" packs the payload into LZMA2 of independent blocks and runs the whole
# packed installer against the SDK's extractor, and natively our folder decoding with 1 and 2
# threads. Not a test; results go to build-bench/results.txt.
# The part "memory" extracts one solid LZMA2 folder of 1100 MiB (zeros: quick to pack, and
# memory does not depend on the bytes) with a 64 MiB dictionary and reports the peak private
# memory of the installer and the reference. STUB=path/to/ZelkoSFX.exe packs another stub
# (an older build, say) for every installer run.
#   bench/extract_bench.sh [PAYLOAD-MB] [ROUNDS] [methods|parallel|memory|all]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/env.sh"
payloadMB=${1:-200}
rounds=${2:-3}
parts=${3:-all}
stub=${STUB:-$root/build-bench/build/bin/ZelkoSFX.exe}
out=$root/build-bench
native=$root/build-bench-native
mkdir -p "$out"
results=$out/results.txt
: > "$results"
say() { echo "$*" | tee -a "$results"; }

# --- Payload and archives (kept between runs) ------------------------------------------
payload=$out/payload
if [ ! -f "$out/payload.done" ]; then
  rm -rf "$payload"
  mkdir -p "$payload/dll" "$payload/doc"
  limit=$((payloadMB * 1024 * 1024 * 85 / 100))
  total=0
  for f in $(find /usr/lib/x86_64-linux-gnu/wine/x86_64-windows -name '*.dll' -size +20k | sort); do
    [ "$total" -ge "$limit" ] && break
    cp "$f" "$payload/dll/"
    total=$((total + $(stat -c %s "$f")))
  done
  limit=$((payloadMB * 1024 * 1024))
  find /usr/share/doc -type f \( -name '*.txt' -o -name 'copyright' -o -name '*.html' \) | sort |
    while read -r f; do
      [ "$(du -sb "$payload" | cut -f1)" -ge "$limit" ] && break
      cp --parents "$f" "$payload/doc/" 2>/dev/null || true
    done
  # Windows names ignore case: keep one of each pair that only case tells apart.
  find "$payload" -type f | sort | awk '{l = tolower($0); if (seen[l]++) print}' |
    while read -r f; do rm -f "$f"; done
  touch "$out/payload.done"
  rm -f "$out"/payload_*.7z
fi
[ -f "$out/payload_lzma2.7z" ] ||
  (cd "$payload" && 7zz a -t7z -bso0 -bsp0 -m0=LZMA2 "$out/payload_lzma2.7z" ./*)
[ -f "$out/payload_bcj_lzma.7z" ] ||
  (cd "$payload" && 7zz a -t7z -bso0 -bsp0 -m0=LZMA -mf=BCJ "$out/payload_bcj_lzma.7z" ./*)
[ -f "$out/payload_bcj2.7z" ] ||
  (cd "$payload" && 7zz a -t7z -bso0 -bsp0 -m0=LZMA -mf=BCJ2 "$out/payload_bcj2.7z" ./*)
# Blocks of 32 MiB, each decodable alone (c= sets the block size).
[ -f "$out/payload_lzma2_blocks.7z" ] ||
  (cd "$payload" && 7zz a -t7z -bso0 -bsp0 -mmt=4 -m0=LZMA2:d=16m:c=32m \
    "$out/payload_lzma2_blocks.7z" ./*)

# --- Programs --------------------------------------------------------------------------
cmake -S "$root" -B "$out/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DZELKO_BUILD_BENCH=ON -DZELKO_BUILD_TESTS=OFF >/dev/null
cmake --build "$out/build" --target zelko_extract_bench sdk_reference_7z ZelkoSFX zelko_pack \
  >/dev/null
cmake -S "$root/bench/native" -B "$native" -G Ninja -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$native" >/dev/null

zelko_wine_prefix "$out/wine"
"$ZELKO_WINESERVER" -p
trap '"$ZELKO_WINESERVER" -k 2>/dev/null || true' EXIT
win() { zelko_windows_path "$1"; }
bench=$(win "$out/build/bench/zelko_extract_bench.exe")
reference=$(win "$out/build/bench/sdk_reference_7z.exe")
median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

unpacked=$(du -sb "$payload" | cut -f1)
# folder_summary ARCHIVE: how many folders, and the unpacked size of the largest.
folder_summary() {
  7zz l -slt "$1" | awk -F' = ' '/^Size = /{s=$2} /^Block = /{b[$2]+=s}
    END {m=0; for (k in b) if (b[k]>m) m=b[k]; printf "%d folders, the largest %d MiB", length(b), m/1048576}'
}
# cancel_delays ARCHIVE: the delay from a cancel at a third of the progress to the end of
# our extraction, 5 runs.
cancel_delays() {
  : > "$out/cancel.times"
  for round in $(seq 5); do
    rm -rf "$out/target_ours"; mkdir -p "$out/target_ours"
    "$ZELKO_WINE" "$bench" cancel "$(win "$1")" "$(win "$out/target_ours")" \
      $((unpacked / 1024 / 3)) >>"$out/cancel.times" 2>/dev/null </dev/null
  done
  echo "  cancel to end of extraction: median $(median <"$out/cancel.times") ms, max $(sort -g "$out/cancel.times" | tail -1) ms (5 runs, cancelled at a third)"
}
# interleave ARCHIVE OURS: $rounds rounds of the reference, then of OURS (ours_installer), each into a fresh folder; seconds and peak resident memory in KiB go to
# ref.times and ours.times. Max RSS of the Windows process: Wine runs it in the process that
# time started.
timed() { /usr/bin/time -f "%e %M" -o "$out/time.txt" "$@" >/dev/null 2>&1 </dev/null; }
# pack_installer ARCHIVE: packs the stub with ARCHIVE into $out/installer_<name>.exe and
# points $installer at it.
pack_installer() {
  installer=$out/installer_$(basename "$1" .7z).exe
  printf '[INSTALL]\nProductCode={5E0C7A21-33B4-4F7D-9C1E-7A2B6D4E8F10}\nCompression=7z\n' \
    > "$out/bench.ini"
  "$ZELKO_WINE" "$(win "$out/build/bin/zelko_pack.exe")" --stub "$(win "$stub")" \
    --config "$(win "$out/bench.ini")" --archive "$(win "$1")" --fill-sizes \
    --out "$(win "$installer")" >"$out/pack.txt" 2>&1 </dev/null
}
# Private memory: the anonymous pages of the Windows process (Wine runs it in the process
# started here), sampled every 20 ms, so mapped files (the installer's image with its
# archive resource, Wine's DLLs) do not count.
peak_private() {
  "$@" >/dev/null 2>&1 </dev/null &
  local pid=$! peak=0 kib
  while kill -0 "$pid" 2>/dev/null; do
    kib=$(awk '/^RssAnon:/ {print $2}' "/proc/$pid/status" 2>/dev/null || true)
    [ -n "$kib" ] && [ "$kib" -gt "$peak" ] && peak=$kib
    sleep 0.02
  done
  wait "$pid" || { echo "failed: $*" >&2; exit 1; }
  echo $((peak / 1024))
}
# private_line ARCHIVE: the peak private memory of one run each of the reference and of the
# packed $installer.
private_line() {
  rm -rf "$out/target_ref" "$out/target_ours"; mkdir -p "$out/target_ref" "$out/target_ours"
  local refPrivate ourPrivate
  refPrivate=$(cd "$out/target_ref" && peak_private "$ZELKO_WINE" "$reference" x "$(win "$1")")
  ourPrivate=$(peak_private "$ZELKO_WINE" "$(win "$installer")" /sfx_nu /sfx_ne \
    "/sfx_o$(win "$out/target_ours")")
  echo "  peak private memory (anonymous pages, one run each): reference $refPrivate MiB," \
    "installer $ourPrivate MiB, against the largest folder of $(folder_summary "$1" | awk '{print $(NF-1)}') MiB"
}
# The packed installer as a user starts it: silent, extract only, into the folder.
ours_installer() {
  timed "$ZELKO_WINE" "$(win "$installer")" /sfx_nu /sfx_ne "/sfx_o$(win "$2")"
}
interleave() {
  : > "$out/ref.times"; : > "$out/ours.times"
  local round who target
  for round in $(seq "$rounds"); do
    for who in ref ours; do
      target=$out/target_$who
      rm -rf "$target"; mkdir -p "$target"
      if [ "$who" = ref ]; then
        (cd "$target" && timed "$ZELKO_WINE" "$reference" x "$(win "$1")") ||
          { echo "reference failed on $1" >&2; exit 1; }
      else
        "$2" "$1" "$target" || { echo "ours ($2) failed on $1" >&2; exit 1; }
      fi
      cat "$out/time.txt" >>"$out/$who.times"
    done
  done
}
say "payload: $((unpacked / 1048576)) MiB in $(find "$payload" -type f | wc -l) files; $rounds interleaved rounds"
methods=""
case $parts in all | methods) methods="lzma2 bcj_lzma bcj2" ;; esac
for name in $methods; do
  archive=$out/payload_$name.7z
  # The whole installer as a user runs it (its installer.bin copy included).
  pack_installer "$archive"
  interleave "$archive" ours_installer
  diff -r "$payload" "$out/target_ours" >/dev/null || { echo "our output differs" >&2; exit 1; }
  refTime=$(cut -d' ' -f1 "$out/ref.times" | median)
  ourTime=$(cut -d' ' -f1 "$out/ours.times" | median)
  refPeak=$(cut -d' ' -f2 "$out/ref.times" | median)
  ourPeak=$(cut -d' ' -f2 "$out/ours.times" | median)
  say "$name ($(($(stat -c %s "$archive") / 1048576)) MiB packed), the whole installer under Wine, with files:"
  say "  reference $refTime s ($(cut -d' ' -f1 "$out/ref.times" | tr '\n' ' ')), installer $ourTime s ($(cut -d' ' -f1 "$out/ours.times" | tr '\n' ' '))"
  say "  wall-time ratio (installer/reference) $(awk "BEGIN {printf \"%.3f\", $ourTime / $refTime}")"
  folders=$(folder_summary "$archive")
  say "  peak resident memory (with Wine's own): reference $((refPeak / 1024)) MiB, ours $((ourPeak / 1024)) MiB ($folders)"
  say "$(private_line "$archive")"

  say "$(cancel_delays "$archive")"

  : > "$out/nref.times"; : > "$out/nours.times"
  for round in $(seq "$rounds"); do
    "$native/decode_sdk" "$archive" | cut -d' ' -f1 >>"$out/nref.times"
    "$native/decode_ours" "$archive" | cut -d' ' -f1 >>"$out/nours.times"
  done
  nref=$(median <"$out/nref.times"); nours=$(median <"$out/nours.times")
  say "  native decoding only: SDK folder decoder $nref s, ours $nours s, ratio $(awk "BEGIN {printf \"%.3f\", $nref / $nours}")"
done
[ -z "$methods" ] || say "$(bash "$root/bench/file_calls.sh" \
  "$out/build/bench/zelko_extract_bench.exe" "$out/payload_lzma2.7z" "$out/target_ours")"

# --- Parallel LZMA2: the whole installer, and the folder decoding with 1 and 2 threads ---
if [ "$parts" = all ] || [ "$parts" = parallel ]; then
  archive=$out/payload_lzma2_blocks.7z
  pack_installer "$archive"
  say "load before the parallel part (uptime): $(uptime)"
  say "lzma2 in blocks (-mmt=4 -m0=LZMA2:d=16m:c=32m): $(stat -c %s "$archive") bytes packed;" \
    "default LZMA2: $(stat -c %s "$out/payload_lzma2.7z") bytes"
  interleave "$archive" ours_installer
  diff -r "$payload" "$out/target_ours" >/dev/null || { echo "the installer's output differs" >&2; exit 1; }
  refTime=$(cut -d' ' -f1 "$out/ref.times" | median)
  ourTime=$(cut -d' ' -f1 "$out/ours.times" | median)
  say "  whole installer under Wine (installer.bin copy included), $rounds interleaved rounds:"
  say "  reference $refTime s ($(cut -d' ' -f1 "$out/ref.times" | tr '\n' ' ')), installer $ourTime s ($(cut -d' ' -f1 "$out/ours.times" | tr '\n' ' '))"
  say "  throughput ratio (installer/reference) $(awk "BEGIN {printf \"%.3f\", $refTime / $ourTime}"), wall-time ratio $(awk "BEGIN {printf \"%.3f\", $ourTime / $refTime}")"
  folders=$(folder_summary "$archive")
  say "  peak resident memory (with Wine's own): reference $(($(cut -d' ' -f2 "$out/ref.times" | median) / 1024)) MiB," \
    "installer $(($(cut -d' ' -f2 "$out/ours.times" | median) / 1024)) MiB ($folders)"
  say "$(private_line "$archive")"

  say "$(cancel_delays "$archive")"

  # Natively: the archive is in memory, so the peak resident memory above the archive and
  # the folder is what the decoding itself takes.
  : > "$out/n1.times"; : > "$out/n2.times"
  for round in $(seq "$rounds"); do
    for threads in 1 2; do
      /usr/bin/time -f "%M" -o "$out/time.txt" "$native/decode_ours" "$archive" "$threads" |
        cut -d' ' -f1 | tr '\n' ' ' >>"$out/n$threads.times"
      cat "$out/time.txt" >>"$out/n$threads.times"
    done
  done
  n1=$(cut -d' ' -f1 "$out/n1.times" | median); n2=$(cut -d' ' -f1 "$out/n2.times" | median)
  say "  native folder decoding: 1 thread $n1 s ($(cut -d' ' -f1 "$out/n1.times" | tr '\n' ' ')), 2 threads $n2 s ($(cut -d' ' -f1 "$out/n2.times" | tr '\n' ' ')), ratio $(awk "BEGIN {printf \"%.3f\", $n1 / $n2}")"
  : > "$out/f1.times"; : > "$out/f2.times"
  for round in $(seq "$rounds"); do
    for threads in 1 2; do
      "$native/decode_ours" "$archive" "$threads" largest | cut -d' ' -f1 >>"$out/f$threads.times"
    done
  done
  f1=$(median <"$out/f1.times"); f2=$(median <"$out/f2.times")
  say "  native, the largest folder alone (no entry check sums): 1 thread $f1 s ($(tr '\n' ' ' <"$out/f1.times")), 2 threads $f2 s ($(tr '\n' ' ' <"$out/f2.times")), ratio $(awk "BEGIN {printf \"%.3f\", $f1 / $f2}")"
  say "  native peak resident memory: 1 thread $(($(cut -d' ' -f2 "$out/n1.times" | median) / 1024)) MiB, 2 threads $(($(cut -d' ' -f2 "$out/n2.times" | median) / 1024)) MiB (archive $(($(stat -c %s "$archive") / 1048576)) MiB in memory, $folders)"
  say "load after (uptime): $(uptime)"
fi
# --- Memory: a folder of more than 1 GiB ----------------------------------------------------
if [ "$parts" = all ] || [ "$parts" = memory ]; then
  archive=$out/large_lzma2_d64m.7z
  if [ ! -f "$archive" ]; then
    mkdir -p "$out/large"
    head -c $((1100 << 20)) /dev/zero > "$out/large/zeros.bin"
    (cd "$out/large" && 7zz a -t7z -bso0 -bsp0 -m0=LZMA2:d=64m "$archive" zeros.bin)
    rm -r "$out/large"
  fi
  pack_installer "$archive"
  say "one solid LZMA2 folder of 1100 MiB, dictionary 64 MiB ($(stat -c %s "$archive") bytes packed), stub $stub:"
  say "$(private_line "$archive")"
fi
rm -rf "$out/target_ref" "$out/target_ours"
