#!/usr/bin/env bash
# Extraction benchmark: builds a payload of Windows PE files and text (Wine's own DLLs and
# documentation), packs it with LZMA2 and with BCJ+LZMA, and in one run measures under Wine
# our extraction against the SDK's example extractor built from the same sources with the same
# compiler (throughput ratio from interleaved runs, peak private memory), the delay from a
# confirmed cancel to the end of the extraction, and natively (no Wine, no files) our folder
# decoder against the SDK's own, and the file-system calls per entry (bench/file_calls.sh).
# Not a test; results go to build-bench/results.txt.
#   bench/extract_bench.sh [PAYLOAD-MB] [ROUNDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/env.sh"
payloadMB=${1:-200}
rounds=${2:-3}
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

# --- Programs --------------------------------------------------------------------------
cmake -S "$root" -B "$out/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DZELKO_BUILD_BENCH=ON -DZELKO_BUILD_TESTS=OFF >/dev/null
cmake --build "$out/build" --target zelko_extract_bench sdk_reference_7z >/dev/null
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
say "payload: $((unpacked / 1048576)) MiB in $(find "$payload" -type f | wc -l) files; $rounds interleaved rounds"
for name in lzma2 bcj_lzma; do
  archive=$out/payload_$name.7z
  : > "$out/ref.times"; : > "$out/ours.times"
  for round in $(seq "$rounds"); do
    for who in ref ours; do
      target=$out/target_$who
      rm -rf "$target"; mkdir -p "$target"
      # Max RSS of the Windows process: Wine runs it in the process that time started.
      if [ "$who" = ref ]; then
        (cd "$target" && /usr/bin/time -f "%e %M" -o "$out/time.txt" \
          "$ZELKO_WINE" "$reference" x "$(win "$archive")" >/dev/null 2>&1 </dev/null) ||
          { echo "reference failed on $name" >&2; exit 1; }
      else
        /usr/bin/time -f "%e %M" -o "$out/time.txt" \
          "$ZELKO_WINE" "$bench" extract "$(win "$archive")" "$(win "$target")" \
          >/dev/null 2>&1 </dev/null || { echo "ours failed on $name" >&2; exit 1; }
      fi
      cat "$out/time.txt" >>"$out/$who.times"
    done
  done
  diff -r "$payload" "$out/target_ours" >/dev/null || { echo "our output differs" >&2; exit 1; }
  refTime=$(cut -d' ' -f1 "$out/ref.times" | median)
  ourTime=$(cut -d' ' -f1 "$out/ours.times" | median)
  refPeak=$(cut -d' ' -f2 "$out/ref.times" | median)
  ourPeak=$(cut -d' ' -f2 "$out/ours.times" | median)
  say "$name ($(($(stat -c %s "$archive") / 1048576)) MiB packed), under Wine, with files:"
  say "  reference $refTime s, ours $ourTime s, throughput ratio (ours/reference) $(awk "BEGIN {printf \"%.3f\", $refTime / $ourTime}")"
  folders=$(7zz l -slt "$archive" | awk -F' = ' '/^Size = /{s=$2} /^Block = /{b[$2]+=s}
    END {m=0; for (k in b) if (b[k]>m) m=b[k]; printf "%d folders, the largest %d MiB", length(b), m/1048576}')
  say "  peak resident memory (with Wine's own): reference $((refPeak / 1024)) MiB, ours $((ourPeak / 1024)) MiB ($folders)"

  : > "$out/cancel.times"
  for round in $(seq 5); do
    target=$out/target_ours
    rm -rf "$target"; mkdir -p "$target"
    "$ZELKO_WINE" "$bench" cancel "$(win "$archive")" "$(win "$target")" \
      $((unpacked / 1024 / 3)) >>"$out/cancel.times" 2>/dev/null </dev/null
  done
  say "  cancel to end of extraction: median $(median <"$out/cancel.times") ms, max $(sort -g "$out/cancel.times" | tail -1) ms (5 runs, cancelled at a third)"

  : > "$out/nref.times"; : > "$out/nours.times"
  for round in $(seq "$rounds"); do
    "$native/decode_sdk" "$archive" | cut -d' ' -f1 >>"$out/nref.times"
    "$native/decode_ours" "$archive" | cut -d' ' -f1 >>"$out/nours.times"
  done
  nref=$(median <"$out/nref.times"); nours=$(median <"$out/nours.times")
  say "  native decoding only: SDK folder decoder $nref s, ours $nours s, ratio $(awk "BEGIN {printf \"%.3f\", $nref / $nours}")"
done
say "$(bash "$root/bench/file_calls.sh" "$out/build/bench/zelko_extract_bench.exe" \
  "$out/payload_lzma2.7z" "$out/target_ours")"
rm -rf "$out/target_ref" "$out/target_ours"
