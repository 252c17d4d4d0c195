#!/usr/bin/env bash
# A packed installer signed afterwards verifies and runs; a signed stub is refused. The
# certificate is made here, for this run only.
#   signed_installer_test.sh PACKER BIN-FOLDER PAYLOAD-ARCHIVE WINE
set -euo pipefail
packer=$1 bin=$2 payload=$3 wine=$4
work=$(mktemp -d "${TMPDIR:-/tmp}/zelko-signed.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAILED: $*" >&2; exit 1; }
windows_path() { printf 'Z:%s' "$1" | tr / '\\'; }

openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 \
  -subj "/CN=Zelko SFX test signer" 2>/dev/null
printf '[INSTALL]\nProductCode={7A2B3C4D-5E6F-4A1B-8C2D-3E4F5A6B7C8D}\n' > setup.ini
sign() { osslsigncode sign -certs cert.pem -key key.pem -n "Zelko SFX test" -in "$1" -out "$2" >/dev/null; }

"$packer" --stub "$bin/ZelkoSFX.exe" --config setup.ini --archive "$payload" --fill-sizes \
  --out installer.exe >/dev/null
sign installer.exe signed.exe
osslsigncode verify -CAfile cert.pem -in signed.exe >verify.txt 2>&1 ||
  { cat verify.txt; fail "the signed installer does not verify"; }
grep -q "Signature verification: ok" verify.txt || { cat verify.txt; fail "no verified signature"; }

# It runs: the archive's declared size still matches, and it extracts.
launch() {
  "$wine" "$bin/zelko_launch.exe" "$(windows_path "$work/signed.exe")" "$@" </dev/null | tr -d '\r'
}
[ "$(launch /sfx_nu /sfx_va)" = "exit code: 0" ] || fail "validation of the signed installer"
result=$(launch /sfx_nu /sfx_ne "/sfx_o$(windows_path "$work/out")")
[ "$result" = "exit code: 0" ] || fail "extraction by the signed installer: $result"
[ -f out/readme.txt ] || fail "the signed installer extracted nothing"

# A signed stub: resources added after the signature would break it, so the packer refuses.
sign "$bin/ZelkoSFX.exe" signed_stub.exe
if "$packer" --stub signed_stub.exe --config setup.ini --out from_signed.exe 2>error.txt; then
  fail "a signed stub was packed"
fi
grep -q "the stub is signed; pack the unsigned stub and sign the installer afterwards" error.txt ||
  { cat error.txt; fail "the refusal does not say why"; }
[ ! -e from_signed.exe ] || fail "a refused pack left an installer"
echo "signed installer verifies and runs; signed stub refused"
