#!/usr/bin/env bash
# Which LZMA SDK releases the set-up and the CMake configure take: the same answer from both,
# over copies of every kind (a header per release, no header at all).
#   sdk_release_test.sh CMAKE
set -euo pipefail
cmake=$1
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/scripts/lzma_sdk_release.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# CMake's check, run as a script over one copy.
cat > "$work/check.cmake" <<CMAKE
include("$root/cmake/lzma_sdk_files.cmake")
zelko_check_lzma_sdk("\${SDK}")
CMAKE

# major minor (empty: no 7zVersion.h), the release named, taken or not.
while read -r major minor named taken; do
  sdk=$work/sdk-$named
  mkdir -p "$sdk"
  : > "$sdk/7z.h"
  if [ "$major" != - ]; then
    printf '#define MY_VER_MAJOR %s\n#define MY_VER_MINOR %s\n#define MY_VER_BUILD 0\n' \
      "$major" "$minor" > "$sdk/7zVersion.h"
  fi
  [ "$(sdk_release "$sdk")" = "$named" ] || fail "$sdk named $(sdk_release "$sdk"), not $named"
  if sdk_supported "$named"; then shell=yes; else shell=no; fi
  [ "$shell" = "$taken" ] || fail "set-up: $named taken: $shell"

  # CMake wraps its messages: compared with the blanks and line ends as one blank each.
  if output=$("$cmake" -DSDK="$sdk" -P "$work/check.cmake" 2>&1); then cmake_took=yes; else cmake_took=no; fi
  output=$(tr -s ' \n' '  ' <<<"$output")
  [ "$cmake_took" = "$taken" ] || fail "CMake: $named taken: $cmake_took ($output)"
  if [ "$taken" = yes ]; then
    grep -qF -- "-- LZMA SDK $named in $sdk" <<<"$output" || fail "CMake does not name $named: $output"
  else
    grep -qF "LZMA SDK $named in $sdk is older than $zelko_sdk_oldest" <<<"$output" ||
      fail "CMake's refusal of $named: $output"
    line=$(sdk_too_old "$named" "in $sdk" 2>&1)
    [ "$line" = "setup: LZMA SDK $named in $sdk is older than $zelko_sdk_oldest, the oldest release this build supports; set LZMA_SDK_DIR to the C folder (the one holding 7z.h) of LZMA SDK $zelko_sdk_oldest or later and run again" ] ||
      fail "set-up's refusal: $line"
  fi
done <<'CASES'
26 2 26.02 yes
26 02 26.02 yes
26 10 26.10 yes
27 0 27.00 yes
26 1 26.01 no
9 20 9.20 no
25 01 25.01 no
- - unknown no
CASES

# A folder without 7z.h is no SDK at all.
mkdir -p "$work/empty"
if output=$("$cmake" -DSDK="$work/empty" -P "$work/check.cmake" 2>&1); then
  fail "CMake took a folder without 7z.h"
else
  output=$(tr -s ' \n' '  ' <<<"$output")
  grep -qF "LZMA SDK not found in $work/empty" <<<"$output" || fail "CMake's refusal: $output"
fi

[ "$zelko_sdk_oldest" = 26.02 ] || fail "the oldest release read is $zelko_sdk_oldest"
if [ $failures -gt 0 ]; then exit 1; fi
echo "all SDK release cases passed"
