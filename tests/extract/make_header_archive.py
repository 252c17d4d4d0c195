#!/usr/bin/env python3
"""Writes a small 7z archive with a plain (unpacked) header that 7zz itself never writes.

One stored entry with the given content and correct check sums everywhere, so a reader gets
past every check sum to the header property under test:
  make_header_archive.py OUT.7z names-size-zero   the names property has size 0 and is
                                                   followed directly by the end of the list
  make_header_archive.py OUT.7z no-names           no names property at all
  make_header_archive.py OUT.7z named              a normal names property ("a.txt")
  make_header_archive.py OUT.7z repeated           the names and the modification times each
                                                   twice ("x.txt" then "a.txt"; 2001 then
                                                   2002-03-04 05:06:07 UTC): the later stand
"""
import struct
import sys
import zlib

SIGNATURE = b"7z\xbc\xaf\x27\x1c"
VERSION = b"\x00\x04"
CONTENT = b"hello from a hand-made archive\n"

# Property ids of the 7z header.
END, HEADER, MAIN_STREAMS, FILES_INFO = 0x00, 0x01, 0x04, 0x05
PACK_INFO, UNPACK_INFO, SUBSTREAMS, SIZE, CRC = 0x06, 0x07, 0x08, 0x09, 0x0A
FOLDER, CODERS_UNPACK_SIZE, NAME, MTIME = 0x0B, 0x0C, 0x11, 0x14

# FILETIME values (100 ns since 1601) of the repeated times.
EARLIER_TIME = 126227808000000000  # 2001-01-01 00:00:00 UTC
LATER_TIME = 126596919670000000    # 2002-03-04 05:06:07 UTC


def number(value):
    """The header's variable-length number; one byte covers everything written here."""
    assert value < 0x80
    return bytes([value])


def name_property(name):
    body = b"\x00" + name.encode("utf-16-le") + b"\x00\x00"  # 0: no extra stream
    return bytes([NAME]) + number(len(body)) + body


def time_property(filetime):
    # 1: defined for every file; 0: the values follow here, not in an extra stream.
    body = b"\x01\x00" + struct.pack("<Q", filetime)
    return bytes([MTIME]) + number(len(body)) + body


def file_properties(kind):
    if kind == "no-names":
        return b""
    if kind == "names-size-zero":
        return bytes([NAME]) + number(0)
    if kind == "repeated":
        return (name_property("x.txt") + time_property(EARLIER_TIME) + name_property("a.txt") +
                time_property(LATER_TIME))
    return name_property("a.txt")


def header(kind):
    size = number(len(CONTENT))
    pack_info = bytes([PACK_INFO, 0x00, 0x01, SIZE]) + size + bytes([END])
    # One folder of one coder: 0x01 = an id of one byte, one stream in and out, no properties;
    # id 0x00 is the copy coder.
    folder = bytes([0x01, 0x01, 0x00])
    unpack_info = (bytes([UNPACK_INFO, FOLDER, 0x01, 0x00]) + folder +
                   bytes([CODERS_UNPACK_SIZE]) + size + bytes([END]))
    substreams = (bytes([SUBSTREAMS, CRC, 0x01]) + struct.pack("<I", zlib.crc32(CONTENT)) +
                  bytes([END]))
    streams = bytes([MAIN_STREAMS]) + pack_info + unpack_info + substreams + bytes([END])
    files = bytes([FILES_INFO, 0x01]) + file_properties(kind) + bytes([END])
    return bytes([HEADER]) + streams + files + bytes([END])


def archive(kind):
    next_header = header(kind)
    tail = struct.pack("<QQI", len(CONTENT), len(next_header), zlib.crc32(next_header))
    start = SIGNATURE + VERSION + struct.pack("<I", zlib.crc32(tail)) + tail
    return start + CONTENT + next_header


def main():
    if len(sys.argv) != 3 or sys.argv[2] not in ("names-size-zero", "no-names", "named",
                                                  "repeated"):
        sys.exit(__doc__)
    with open(sys.argv[1], "wb") as out:
        out.write(archive(sys.argv[2]))


if __name__ == "__main__":
    main()
