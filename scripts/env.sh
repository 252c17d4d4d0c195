# Shared settings of the build and run scripts (sourced, not run).
ZELKO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
ZELKO_BUILD=${ZELKO_BUILD:-$ZELKO_ROOT/build}
ZELKO_WINE=/usr/lib/wine/wine64
ZELKO_WINESERVER=/usr/lib/wine/wineserver
export WINEDEBUG=-all
# No Mono or Gecko prompts: nothing here needs them, and the machine has no network.
export WINEDLLOVERRIDES="mscoree=;mshtml="

# zelko_wine_prefix DIR [fresh]: points Wine at DIR and creates the prefix when missing
# (or anew when "fresh" is given).
zelko_wine_prefix() {
  export WINEPREFIX=$1
  if [ "${2:-}" = fresh ]; then
    "$ZELKO_WINESERVER" -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    "$ZELKO_WINE" wineboot -i >/dev/null 2>&1
    "$ZELKO_WINESERVER" -w
    # Wine links the user's Desktop, Documents and the like to the Linux home folder; real
    # folders instead, so that nothing a run writes there (a folder picked in a browser, say)
    # reaches the home folder.
    local folder
    for folder in "$WINEPREFIX"/drive_c/users/*/*; do
      if [ -L "$folder" ]; then rm "$folder" && mkdir "$folder"; fi
    done
  fi
}

# The Windows form of a Linux path (Wine maps / to Z:).
zelko_windows_path() {
  printf 'Z:%s' "$1" | tr / '\\'
}
