# Which LZMA SDK release a copy is, and whether we build with it (sourced by setup.sh and by its
# test). The oldest release we build with is kept in cmake/lzma_sdk_files.cmake, for CMake's
# own check of LZMA_SDK_DIR, and read from there.
zelko_sdk_oldest=$(sed -n 's/^set(ZELKO_LZMA_SDK_OLDEST_RELEASE "\([0-9.]*\)")$/\1/p' \
  "$(dirname "${BASH_SOURCE[0]}")/../cmake/lzma_sdk_files.cmake")
if [ -z "$zelko_sdk_oldest" ]; then
  echo "setup: no ZELKO_LZMA_SDK_OLDEST_RELEASE in cmake/lzma_sdk_files.cmake" >&2
  exit 1
fi

# sdk_release DIR: the release of the SDK whose C folder is DIR ("26.02"), read from its
# 7zVersion.h, or "unknown".
sdk_release() {
  local major minor
  major=$(sed -n 's/^#define MY_VER_MAJOR \([0-9]\+\).*/\1/p' "$1/7zVersion.h" 2>/dev/null | head -n 1)
  minor=$(sed -n 's/^#define MY_VER_MINOR \([0-9]\+\).*/\1/p' "$1/7zVersion.h" 2>/dev/null | head -n 1)
  if [ -n "$major" ] && [ -n "$minor" ]; then
    printf '%d.%02d\n' "$((10#$major))" "$((10#$minor))"
  else
    echo unknown
  fi
}

# sdk_supported RELEASE: true when we build with RELEASE (the oldest we support or later).
sdk_supported() {
  [ "$1" != unknown ] &&
    [ "$(printf '%s\n%s\n' "$zelko_sdk_oldest" "$1" | sort -V | head -n 1)" = "$zelko_sdk_oldest" ]
}

# sdk_too_old RELEASE WHERE: the one line that stops the set-up, on standard error.
sdk_too_old() {
  echo "setup: LZMA SDK $1 $2 is older than $zelko_sdk_oldest, the oldest release this build" \
       "supports; set LZMA_SDK_DIR to the C folder (the one holding 7z.h) of LZMA SDK" \
       "$zelko_sdk_oldest or later and run again" >&2
}
