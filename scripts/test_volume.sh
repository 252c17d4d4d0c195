#!/usr/bin/env bash
# A 1 MB volume for the full-disk tests, mapped as drive Y: of the Wine prefix in $WINEPREFIX.
#   test_volume.sh up DIR    mounts a tmpfs on DIR (needs root) and maps it as Y:
#   test_volume.sh down DIR  removes the mapping and the mount
# When the volume cannot be made, the tests that need it skip and say why.
set -uo pipefail
action=$1
dir=$2
link="$WINEPREFIX/dosdevices/y:"
case "$action" in
  up)
    mkdir -p "$dir"
    if ! mountpoint -q "$dir"; then
      mount -t tmpfs -o size=1m tmpfs "$dir" 2>/dev/null || {
        echo "test_volume.sh: no tmpfs (not root?); the full-disk tests will skip" >&2
        rmdir "$dir" 2>/dev/null
        exit 0
      }
    fi
    ln -sfn "$dir" "$link"
    ;;
  down)
    rm -f "$link"
    if mountpoint -q "$dir" 2>/dev/null; then umount "$dir"; fi
    rmdir "$dir" 2>/dev/null || true
    ;;
esac
exit 0
