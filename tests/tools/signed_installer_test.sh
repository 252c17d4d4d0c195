#!/usr/bin/env bash
# A packed installer signed afterwards verifies and runs, and one changed payload byte breaks
# its signature; a signed stub is refused. The certificate is made here, for this run only.
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
# launch INSTALLER ARGS...: runs it under Wine and prints "exit code: N".
launch() {
  local installer=$1
  shift
  "$wine" "$bin/zelko_launch.exe" "$(windows_path "$work/$installer")" "$@" </dev/null | tr -d '\r'
}
[ "$(launch signed.exe /sfx_nu /sfx_va)" = "exit code: 0" ] || fail "validation of the signed installer"
result=$(launch signed.exe /sfx_nu /sfx_ne "/sfx_o$(windows_path "$work/out")")
[ "$result" = "exit code: 0" ] || fail "extraction by the signed installer: $result"
[ -f out/readme.txt ] || fail "the signed installer extracted nothing"

# The payload is inside the signed image: one byte changed in the packed archive breaks the
# signature, and the installer, run anyway, refuses the damaged archive.
python3 - "$payload" signed.exe tampered.exe <<'PY'
import sys
archive = open(sys.argv[1], "rb").read()
image = bytearray(open(sys.argv[2], "rb").read())
at = image.find(archive)
if at < 0 or image.find(archive, at + 1) >= 0:
    sys.exit("the archive is not in the signed image exactly once")
image[at + len(archive) // 2] ^= 0x01
open(sys.argv[3], "wb").write(image)
PY
if osslsigncode verify -CAfile cert.pem -in tampered.exe >tampered.txt 2>&1; then
  cat tampered.txt
  fail "an installer with a changed payload byte still verifies"
fi
result=$(launch tampered.exe /sfx_nu /sfx_ne "/sfx_o$(windows_path "$work/tampered_out")")
[ "$result" != "exit code: 0" ] || fail "the tampered installer ended with 0"

# A signed stub: resources added after the signature would break it, so the packer refuses.
sign "$bin/ZelkoSFX.exe" signed_stub.exe
if "$packer" --stub signed_stub.exe --config setup.ini --out from_signed.exe 2>error.txt; then
  fail "a signed stub was packed"
fi
grep -q "the stub is signed; pack the unsigned stub and sign the installer afterwards" error.txt ||
  { cat error.txt; fail "the refusal does not say why"; }
[ ! -e from_signed.exe ] || fail "a refused pack left an installer"
echo "signed installer verifies and runs; a changed payload byte fails verification; signed stub refused"
