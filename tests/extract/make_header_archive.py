#!/usr/bin/env python3
"""Writes a small 7z archive with a plain (unpacked) header that 7zz itself never writes.

One stored entry with the given content and correct check sums everywhere, so a reader gets
past every check sum to the header property under test:
  make_header_archive.py OUT.7z names-size-zero   the names property has size 0 and is
                                                   followed directly by the end of the list
  make_header_archive.py OUT.7z no-names           no names property at all
  make_header_archive.py OUT.7z named              the name "a.txt", the modification time
                                                   2002-03-04 05:06:07 UTC and the attributes
                                                   of a plain file, each once
  make_header_archive.py OUT.7z repeated-names     as "named", with the names property twice
  make_header_archive.py OUT.7z repeated-times     as "named", with the times property twice
  make_header_archive.py OUT.7z repeated-attributes  as "named", with the attributes twice
A property given twice breaks the format: each "repeated-" kind holds an archive that a reader
must refuse where "named" opens.
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
FOLDER, CODERS_UNPACK_SIZE, NAME, MTIME, ATTRIBUTES = 0x0B, 0x0C, 0x11, 0x14, 0x15

# FILETIME values (100 ns since 1601).
EARLIER_TIME = 126227808000000000  # 2001-01-01 00:00:00 UTC
LATER_TIME = 126596919670000000    # 2002-03-04 05:06:07 UTC
ARCHIVE_ATTRIBUTE = 0x20
READ_ONLY_ATTRIBUTE = 0x01


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


def attributes_property(attributes):
    # 1: defined for every file; 0: the values follow here, not in an extra stream.
    body = b"\x01\x00" + struct.pack("<I", attributes)
    return bytes([ATTRIBUTES]) + number(len(body)) + body


def file_properties(kind):
    if kind == "no-names":
        return b""
    if kind == "names-size-zero":
        return bytes([NAME]) + number(0)
    names = name_property("a.txt")
    times = time_property(LATER_TIME)
    attributes = attributes_property(ARCHIVE_ATTRIBUTE)
    if kind == "repeated-names":
        names = name_property("x.txt") + names
    elif kind == "repeated-times":
        times = time_property(EARLIER_TIME) + times
    elif kind == "repeated-attributes":
        attributes = attributes_property(READ_ONLY_ATTRIBUTE) + attributes
    return names + times + attributes


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
                                                  "repeated-names", "repeated-times",
                                                  "repeated-attributes"):
        sys.exit(__doc__)
    with open(sys.argv[1], "wb") as out:
        out.write(archive(sys.argv[2]))


if __name__ == "__main__":
    main()
