#!/usr/bin/env bash
# The main job: builds the stub, the packer and the demo product (examples/demo), packs the
# demo installer with the native packer (no Wine needed for that), runs it silently under Wine, and shows its run log, its exit code and where
# the files went. Run it again: the product is then already installed, and the installer says
# so with its own exit code.
set -euo pipefail
source "$(dirname "$0")/env.sh"

bash "$ZELKO_ROOT/scripts/build.sh" >/dev/null
zelko_wine_prefix "$ZELKO_BUILD/wine-demo"

bin=$ZELKO_BUILD/bin
demo=$ZELKO_BUILD/demo
archive=$demo/ZelkoDemoPayload.7z
installer=$demo/ZelkoDemoSetup.exe

# The payload: the demo's setup program and its Windows Installer package, in one 7z archive.
rm -f "$archive"
(cd "$demo/payload" && 7zz a -t7z -bso0 -bsp0 "$archive" setup.exe ZelkoDemoProduct.msi)
"$ZELKO_BUILD/native/bin/zelko_pack" --stub "$bin/ZelkoSFX.exe" \
  --config "$ZELKO_ROOT/examples/demo/setup.ini" --archive "$archive" --fill-sizes \
  --out "$installer"

user=$(whoami)
log="$WINEPREFIX/drive_c/users/$user/Temp/ZelkoSFX.log"
before=$(stat -c %s "$log" 2>/dev/null || echo 0)
echo "Running: ZelkoDemoSetup.exe /sfx_nu /qn   (silent; /qn is passed on to the product's setup)"
result=$("$ZELKO_WINE" "$bin/zelko_launch.exe" "$(zelko_windows_path "$installer")" /sfx_nu /qn)
"$ZELKO_WINESERVER" -w

echo
echo "Run log ($log):"
tail -c +"$((before + 1))" "$log" | tr -d '\r'
echo
echo "$result"
echo
product_code=$(sed -n 's/^ProductCode=//p' "$ZELKO_ROOT/examples/demo/setup.ini" | tr -d '\r')
echo "Installer folder (extracted payload): C:\\ProgramData\\Zelko\\Setup\\$product_code"
ls -l "$WINEPREFIX/drive_c/ProgramData/Zelko/Setup/$product_code" 2>/dev/null | tail -n +2 || echo "  (none)"
echo "Installed product: C:\\Program Files\\Zelko Demo Product"
ls -l "$WINEPREFIX/drive_c/Program Files/Zelko Demo Product" 2>/dev/null | tail -n +2 || echo "  (none)"
