#!/usr/bin/env bash
# The main job: builds the stub and the packer, packs an installer from examples/default,
# runs it under Wine, and prints the run's log and its exit code.
set -euo pipefail
source "$(dirname "$0")/env.sh"

bash "$ZELKO_ROOT/scripts/build.sh" >/dev/null
zelko_wine_prefix "$ZELKO_BUILD/wine-demo"

bin=$ZELKO_BUILD/bin
installer=$ZELKO_BUILD/demo/ZelkoDemoSetup.exe
mkdir -p "$(dirname "$installer")"
"$ZELKO_WINE" "$bin/zelko_pack.exe" \
  --stub "$(zelko_windows_path "$bin/ZelkoSFX.exe")" \
  --config "$(zelko_windows_path "$ZELKO_ROOT/examples/default/setup.ini")" \
  --out "$(zelko_windows_path "$installer")"

log="$WINEPREFIX/drive_c/users/$(whoami)/Temp/ZelkoSFX.log"
before=$(stat -c %s "$log" 2>/dev/null || echo 0)
echo "Running $installer /sfx_nu"
result=$("$ZELKO_WINE" "$bin/zelko_launch.exe" "$(zelko_windows_path "$installer")" /sfx_nu)
"$ZELKO_WINESERVER" -w

echo
echo "Run log ($log):"
tail -c +"$((before + 1))" "$log" | tr -d '\r'
echo
echo "$result"
