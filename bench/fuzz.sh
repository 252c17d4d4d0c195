#!/usr/bin/env bash
# Builds the native fuzz targets (fuzz/) and runs one for SECONDS (default 300), seeded with
# the extraction test archives (made by the normal build, tests/extract/make_fixtures.sh) and
# the extra seeds of fuzz/make_seeds.sh. Findings (crash-*, leak-*, timeout-*) land in
# build-fuzz/findings/, the run's output in build-fuzz/extract_fuzzer[_crc].log.
#   bench/fuzz.sh [--rewrite-crcs] [SECONDS] [JOBS] [MAX-LEN]
# --rewrite-crcs runs the target that corrects each input's header check sums first, so the
# changes reach the header reader and the decoders. A small MAX-LEN runs many more inputs a
# second.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
target=extract_fuzzer
if [ "${1:-}" = --rewrite-crcs ]; then
  target=extract_fuzzer_crc
  shift
fi
seconds=${1:-300}
jobs=${2:-1}
maxLen=${3:-1048576}
out=$root/build-fuzz
fixtures=$root/build/test-fixtures/extract
corpus=$out/corpus-$target
log=$out/$target.log

bash "$root/scripts/setup.sh"  # fetches the SDK, or checks the one LZMA_SDK_DIR names
sdk=()
if [ -n "${LZMA_SDK_DIR:-}" ]; then sdk=(-DLZMA_SDK_DIR="$LZMA_SDK_DIR"); fi
cmake -S "$root/fuzz" -B "$out" -G Ninja "${sdk[@]}" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$out" --target "$target" >"$out/build.log" || { cat "$out/build.log"; exit 1; }

if [ ! -f "$fixtures/.complete" ]; then
  # The branch filters' input is the code of a test helper of that build.
  bash "$root/tests/extract/make_fixtures.sh" "$fixtures" "$root/build/tests/pipe_server.exe"
fi
mkdir -p "$corpus" "$out/findings"
# Small seeds keep the runs fast; the large archives add nothing the small ones lack.
find "$fixtures" -maxdepth 1 -name '*.7z' -size -600k -exec cp {} "$corpus/" \;
bash "$root/fuzz/make_seeds.sh" "$corpus"

# Fork mode: JOBS child processes fuzz in turn from the shared corpus, and a finding ends
# only the child that made it, so one run collects every finding of its whole time.
cd "$out/findings"
ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=1 \
  "$out/$target" -max_total_time="$seconds" -rss_limit_mb=2048 -max_len="$maxLen" \
  -timeout=20 -fork="$jobs" -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 \
  "$corpus" >"$log" 2>&1 || true
grep -E '^#[0-9]+: cov:|ERROR|SUMMARY' "$log" | tail -n 20
ls "$out/findings" | grep -E '^(crash|leak|timeout|oom)-' && exit 1
echo "no findings"
