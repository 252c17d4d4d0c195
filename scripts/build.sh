#!/usr/bin/env bash
# Installs what is missing, then configures and builds everything into build/:
# build/bin/ZelkoSFX.exe (the stub), build/bin/zelko_pack.exe (the packer for Windows),
# build/tests/, and with the host's compiler build/native/bin/zelko_pack (the same packer for
# Linux; the cross build configures and builds that second build folder itself).
set -euo pipefail
source "$(dirname "$0")/env.sh"

bash "$ZELKO_ROOT/scripts/setup.sh"
# LZMA_SDK_DIR, when set, is the SDK copy to build with instead of the fetched one.
sdk=()
if [ -n "${LZMA_SDK_DIR:-}" ]; then sdk=(-DLZMA_SDK_DIR="$LZMA_SDK_DIR"); fi
if [ ! -f "$ZELKO_BUILD/build.ninja" ] || [ ${#sdk[@]} -gt 0 ]; then
  cmake -S "$ZELKO_ROOT" -B "$ZELKO_BUILD" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$ZELKO_ROOT/cmake/mingw-w64-x86_64.cmake" "${sdk[@]}" >/dev/null
fi
cmake --build "$ZELKO_BUILD"
