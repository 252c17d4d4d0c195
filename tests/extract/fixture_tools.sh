# Shared by the scripts that make test and fuzz archives (sourced, not run): the pieces that
# make the same bytes on every machine and every build.

# settle_times: gives every input under the current folder that was made just now one fixed
# time, so the time a build runs never reaches an archive (7zz stores each entry's time).
# Inputs a script dates itself, before 2005, keep their time.
settle_times() {
  find . -newermt '2005-01-01' -exec touch -h -d '2010-06-07 08:09:10 UTC' {} +
}

# noise SEED BYTES: bytes that look random and pack to nothing smaller, the same for the same
# seed on every machine: AES-128 in counter mode over zeros, keyed by the seed's SHA-256.
noise() {
  local hash
  hash=$(printf '%s' "$1" | sha256sum)
  head -c "$2" /dev/zero | openssl enc -aes-128-ctr -nosalt -K "${hash:0:32}" -iv "${hash:32:32}"
}

# flip FILE OFFSET: inverts every bit of the byte at OFFSET, so the byte always changes.
flip() {
  python3 -c '
import sys
path, offset = sys.argv[1], int(sys.argv[2])
with open(path, "r+b") as f:
    f.seek(offset)
    byte = f.read(1)[0]
    f.seek(offset)
    f.write(bytes([byte ^ 0xFF]))
' "$1" "$2"
}

# pe_code PROGRAM: the raw bytes of the program's .text section: calls and jumps for the branch
# filters, without the header's link time.
pe_code() {
  python3 -c '
import struct, sys
data = open(sys.argv[1], "rb").read()
pe = struct.unpack_from("<I", data, 0x3C)[0]
count, = struct.unpack_from("<H", data, pe + 6)
table = pe + 24 + struct.unpack_from("<H", data, pe + 20)[0]
for n in range(count):
    name, size, _, raw_size, raw_at = struct.unpack_from("<8sIIII", data, table + 40 * n)
    if name.rstrip(b"\0") == b".text":
        sys.stdout.buffer.write(data[raw_at:raw_at + min(size, raw_size)])
        sys.exit(0)
sys.exit("no .text section in " + sys.argv[1])
' "$1"
}
