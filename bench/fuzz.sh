#!/usr/bin/env bash
# Builds the native fuzz target (fuzz/) and runs it for SECONDS (default 300), seeded with
# the extraction test archives (made by the normal build, tests/extract/make_fixtures.sh).
# Findings (crash-*, leak-*, timeout-*) land in build-fuzz/findings/.
#   bench/fuzz.sh [SECONDS] [JOBS] [MAX-LEN]   (a small MAX-LEN runs many more inputs a second)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-300}
jobs=${2:-1}
maxLen=${3:-1048576}
out=$root/build-fuzz
fixtures=$root/build/test-fixtures/extract

cmake -S "$root/fuzz" -B "$out" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$out" >/dev/null

if [ ! -d "$fixtures" ]; then
  bash "$root/tests/extract/make_fixtures.sh" "$fixtures"
fi
mkdir -p "$out/corpus" "$out/findings"
# Small seeds keep the runs fast; the large archives add nothing the small ones lack.
find "$fixtures" -maxdepth 1 -name '*.7z' -size -600k -exec cp {} "$out/corpus/" \;

cd "$out/findings"
ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=1 \
  "$out/extract_fuzzer" -max_total_time="$seconds" -rss_limit_mb=2048 -max_len="$maxLen" \
  -timeout=20 -jobs="$jobs" -workers="$jobs" -print_final_stats=1 "$out/corpus" 2>&1 |
  tee "$out/fuzz.log" | grep -E '^#[0-9]+ +(DONE|pulse)|ERROR|SUMMARY|stat::' || true
ls "$out/findings" | grep -E '^(crash|leak|timeout|oom)-' && exit 1
echo "no findings"
