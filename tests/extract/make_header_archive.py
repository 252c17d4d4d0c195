#!/usr/bin/env python3
"""Writes a small 7z archive with a plain (unpacked) header that 7zz itself never writes.

One stored entry with the given content and correct check sums everywhere, so a reader gets
past every check sum to the header property under test:
  make_header_archive.py OUT.7z names-size-zero   the names property has size 0 and is
                                                   followed directly by the end of the list
  make_header_archive.py OUT.7z no-names           no names property at all
  make_header_archive.py OUT.7z named              a normal names property ("a.txt")
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
FOLDER, CODERS_UNPACK_SIZE, NAME = 0x0B, 0x0C, 0x11


def number(value):
    """The header's variable-length number; one byte covers everything written here."""
    assert value < 0x80
    return bytes([value])


def names_property(kind):
    if kind == "no-names":
        return b""
    if kind == "names-size-zero":
        return bytes([NAME]) + number(0)
    name = "a.txt".encode("utf-16-le") + b"\x00\x00"
    body = b"\x00" + name  # 0: the names follow here, not in an extra stream
    return bytes([NAME]) + number(len(body)) + body


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
    files = bytes([FILES_INFO, 0x01]) + names_property(kind) + bytes([END])
    return bytes([HEADER]) + streams + files + bytes([END])


def archive(kind):
    next_header = header(kind)
    tail = struct.pack("<QQI", len(CONTENT), len(next_header), zlib.crc32(next_header))
    start = SIGNATURE + VERSION + struct.pack("<I", zlib.crc32(tail)) + tail
    return start + CONTENT + next_header


def main():
    if len(sys.argv) != 3 or sys.argv[2] not in ("names-size-zero", "no-names", "named"):
        sys.exit(__doc__)
    with open(sys.argv[1], "wb") as out:
        out.write(archive(sys.argv[2]))


if __name__ == "__main__":
    main()
