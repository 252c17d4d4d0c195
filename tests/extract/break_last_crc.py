#!/usr/bin/env python3
# break_last_crc.py ARCHIVE CRC: inverts the stored check sum CRC (8 hex digits, as 7zz lists
# it) of an entry in the plain header of a 7z archive, and makes the header's own check sums
# right again, so the archive opens and only that entry's data fails its check.
import struct
import sys
import zlib

path, crc = sys.argv[1], int(sys.argv[2], 16)
data = bytearray(open(path, "rb").read())
offset, size = struct.unpack_from("<QQ", data, 12)
header = 32 + offset
at = data.rfind(struct.pack("<I", crc), header, header + size)
if at < 0:
    sys.exit("check sum %08X not in the header of %s" % (crc, path))
data[at:at + 4] = struct.pack("<I", crc ^ 0xFFFFFFFF)
struct.pack_into("<I", data, 28, zlib.crc32(data[header:header + size]))
struct.pack_into("<I", data, 8, zlib.crc32(data[12:32]))
open(path, "wb").write(data)
