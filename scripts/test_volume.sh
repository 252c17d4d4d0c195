#!/usr/bin/env bash
# Two small volumes of the Wine prefix in $WINEPREFIX for the tests:
# - a 1 MB volume for the full-disk tests, mapped as drive Y:;
# - drive X: holding the folder "locked", in which no file can be created, not even by an
#   administrator: a read-only mount (as root) or a folder without write permission.
#   test_volume.sh up DIR    mounts a tmpfs on DIR (needs root) and maps it as Y:; makes X:
#   test_volume.sh down DIR  removes the mappings and the mounts
# When a volume cannot be made, the tests that need it skip and say why.
set -uo pipefail
action=$1
dir=$2
link="$WINEPREFIX/dosdevices/y:"
locked_dir="$dir-locked"
locked_link="$WINEPREFIX/dosdevices/x:"

locked_up() {
  mkdir -p "$locked_dir"
  if [ "$(id -u)" = 0 ]; then
    mountpoint -q "$locked_dir" || mount -t tmpfs -o size=64k tmpfs "$locked_dir" || return 0
    mkdir -p "$locked_dir/locked"
    mount -o remount,ro "$locked_dir" || return 0
  else
    mkdir -p "$locked_dir/locked"
    chmod a-w "$locked_dir/locked"
  fi
  ln -sfn "$locked_dir" "$locked_link"
}

locked_down() {
  rm -f "$locked_link"
  if mountpoint -q "$locked_dir" 2>/dev/null; then
    umount "$locked_dir"
  elif [ -d "$locked_dir/locked" ]; then
    chmod u+w "$locked_dir/locked"
  fi
  rm -rf "$locked_dir"
}

case "$action" in
  up)
    locked_up
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
    locked_down
    rm -f "$link"
    if mountpoint -q "$dir" 2>/dev/null; then umount "$dir"; fi
    rmdir "$dir" 2>/dev/null || true
    ;;
esac
exit 0
