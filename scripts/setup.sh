#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian machine (run as root) and fetches the
# LZMA SDK's C folder from Debian's 7zip source package. Safe to run again: every step checks
# first and returns at once when its work is already done.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
third_party=${ZELKO_THIRD_PARTY:-$here/.deps}

packages=(mingw-w64 wine64 xvfb xauth 7zip wixl msitools osslsigncode cmake ninja-build xz-utils dpkg-dev
          openssl python3 g++)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

# Source packages need deb-src entries. They mirror the machine's own Debian entries (their
# mirror, suites, components and keys), so the SDK comes from the release the machine runs.
src_list=/etc/apt/sources.list.d/zelko-deb-src.sources
src_one_line=/etc/apt/sources.list.d/zelko-deb-src.list
debian_source_stanzas() {  # deb822 stanzas of type deb from a Debian archive, as deb-src
  local file
  for file in /etc/apt/sources.list.d/*.sources; do
    [ -f "$file" ] && [ "$file" != "$src_list" ] || continue
    awk 'BEGIN { RS = ""; ORS = "\n\n" }
         /(^|\n)Types:([^\n]* )?deb( |\n|$)/ && /(^|\n)URIs:[^\n]*debian/ &&
         !/(^|\n)Enabled:[ \t]*no/ { sub(/Types:[^\n]*/, "Types: deb-src"); print }' "$file"
  done
}
debian_source_lines() {  # one-line "deb" entries of a Debian archive, as deb-src
  local file
  for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$file" ] && [ "$file" != "$src_one_line" ] || continue
    sed -n 's/^[[:space:]]*deb[[:space:]]\+\(.*debian.*\)$/deb-src \1/p' "$file"
  done
}
need_update=0
if [ ! -f "$src_list" ] && [ ! -f "$src_one_line" ]; then
  stanzas=$(debian_source_stanzas)
  lines=$(debian_source_lines)
  if [ -z "$stanzas" ] && [ -z "$lines" ]; then
    echo "setup: no Debian entry in the machine's apt sources to take a deb-src entry from" >&2
    exit 1
  fi
  if [ -n "$stanzas" ]; then printf '%s\n' "$stanzas" > "$src_list"; fi
  if [ -n "$lines" ]; then printf '%s\n' "$lines" > "$src_one_line"; fi
  need_update=1
fi

if [ ${#missing[@]} -gt 0 ] || [ $need_update = 1 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The LZMA SDK: the C/ and DOC/ folders of the 7zip source package, kept outside the tracked
# files. Its release is named on every run; one older than the oldest we build with
# (cmake/lzma_sdk_files.cmake) is replaced, and if Debian serves only such a release the set-up
# stops and says how to use another copy. LZMA_SDK_DIR, when set, names that other copy (the
# folder holding 7z.h) and nothing is fetched.
source "$here/scripts/lzma_sdk_release.sh"

if [ -n "${LZMA_SDK_DIR:-}" ]; then
  [ -f "$LZMA_SDK_DIR/7z.h" ] || { echo "setup: LZMA_SDK_DIR=$LZMA_SDK_DIR holds no 7z.h" >&2; exit 1; }
  release=$(sdk_release "$LZMA_SDK_DIR")
  sdk_supported "$release" || { sdk_too_old "$release" "in LZMA_SDK_DIR=$LZMA_SDK_DIR"; exit 1; }
  echo "setup: LZMA SDK $release in $LZMA_SDK_DIR (LZMA_SDK_DIR)"
  exit 0
fi

sdk_dir=$third_party/lzma-sdk
shown_dir=${sdk_dir#"$here"/}
if [ -f "$sdk_dir/C/7z.h" ]; then
  release=$(sdk_release "$sdk_dir/C")
  if ! sdk_supported "$release"; then
    echo "setup: replacing LZMA SDK $release in $shown_dir: the build needs $zelko_sdk_oldest or later"
    rm -rf "$sdk_dir"
  fi
  rm -rf "$sdk_dir/C/Util/SfxSetup" "$sdk_dir/C/Util/7zipInstall" "$sdk_dir/C/Util/7zipUninstall"
fi
if [ ! -f "$sdk_dir/C/7z.h" ]; then
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  ( cd "$work" && apt-get source --download-only -qq 7zip >/dev/null )
  orig=$(ls "$work"/7zip_*.orig.tar.* | head -n 1)
  mkdir -p "$work/unpacked"
  tar -xf "$orig" -C "$work/unpacked"
  top=$(find "$work/unpacked" -maxdepth 2 -type f -name 7z.h -path '*/C/7z.h' -printf '%h\n' | head -n 1)
  [ -n "$top" ] || top=$(find "$work/unpacked" -type f -path '*/C/7z.h' -printf '%h\n' | head -n 1)
  [ -n "$top" ] || { echo "setup: no C/7z.h in $(basename "$orig")" >&2; exit 1; }
  release=$(sdk_release "$top")
  sdk_supported "$release" || { sdk_too_old "$release" "in Debian's $(basename "$orig")"; exit 1; }
  rm -rf "$sdk_dir"
  mkdir -p "$sdk_dir"
  cp -r "$top" "$sdk_dir/C"
  # Only the decoder library and its 7z example extractor are used; the package's installer
  # and self-extractor programs are other people's products and are not kept.
  rm -rf "$sdk_dir/C/Util/SfxSetup" "$sdk_dir/C/Util/7zipInstall" "$sdk_dir/C/Util/7zipUninstall"
  [ -d "$top/../DOC" ] && cp -r "$top/../DOC" "$sdk_dir/DOC"
  basename "$orig" > "$sdk_dir/SOURCE"
fi
source_name=$(cat "$sdk_dir/SOURCE" 2>/dev/null || echo "an earlier set-up")
echo "setup: LZMA SDK $(sdk_release "$sdk_dir/C") from $source_name in $shown_dir"
