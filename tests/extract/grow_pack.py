#!/usr/bin/env python3
# grow_pack.py ARCHIVE INDEX: makes packed stream INDEX of a 7z archive with a plain header
# one byte longer (a zero byte put in after it), and makes the header's place and check sums
# right again. 7zz lists a BCJ2 folder's packed streams as main, range coder, jump, call: with
# INDEX 1 the range coder's stream has a byte that the decoder does not use.
import struct
import sys
import zlib


def read_number(data, at):
    first = data[at]
    at += 1
    mask, value = 0x80, 0
    for i in range(8):
        if first & mask == 0:
            return value | ((first & (mask - 1)) << (8 * i)), at
        value |= data[at] << (8 * i)
        at += 1
        mask >>= 1
    return value, at


def write_number(value):
    for n in range(8):
        if value < (1 << (7 * (n + 1))):
            rest = value >> (8 * n)
            return bytes([(0xFF00 >> n) & 0xFF | rest]) + value.to_bytes(8, "little")[:n]
    return b"\xFF" + value.to_bytes(8, "little")


path = sys.argv[1]
data = bytearray(open(path, "rb").read())
offset, size = struct.unpack_from("<QQ", data, 12)
start = 32 + offset
header = bytes(data[start:start + size])
if header[:3] != b"\x01\x04\x06":
    sys.exit("no plain header with pack info in " + path)
pack_pos, at = read_number(header, 3)
count, at = read_number(header, at)
if header[at] != 0x09:
    sys.exit("no pack sizes in " + path)
sizes, at = [], at + 1
for _ in range(count):
    value, at = read_number(header, at)
    sizes.append(value)
index = int(sys.argv[2])
sizes[index] += 1
new = (header[:3] + write_number(pack_pos) + write_number(count) + b"\x09" +
       b"".join(write_number(v) for v in sizes) + header[at:])
grown = 32 + pack_pos + sum(sizes[:index + 1]) - 1
data[start:] = new
data[grown:grown] = b"\0"
struct.pack_into("<QQI", data, 12, offset + 1, len(new), zlib.crc32(new))
struct.pack_into("<I", data, 8, zlib.crc32(data[12:32]))
open(path, "wb").write(data)
