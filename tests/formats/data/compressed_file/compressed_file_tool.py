#!/usr/bin/env python3
"""Reads and writes compressed files ("##SC001" zlib body, "##SN001" stored body) independently of
the relay's code, for the cross-checks of its readers and writers.

    compressed_file_tool.py COMMAND FROM TO [COMMAND FROM TO]...

    decompress FILE OUT   checks marker and checksum, writes the content
    compress IN FILE      writes IN as a "##SC001" file
    store IN FILE         writes IN as a "##SN001" file

The checksum is CRC-32/BZIP2 (polynomial 0x04C11DB7, most significant bit first, initial value and
final xor 0xFFFFFFFF), computed here from its own table; zlib.crc32 is the reflected CRC-32 and
differs.
"""
import struct
import sys
import zlib

COMPRESSED = b"##SC001\0"
STORED = b"##SN001\0"


def make_table():
    table = []
    for i in range(256):
        crc = i << 24
        for _ in range(8):
            crc = ((crc << 1) ^ 0x04C11DB7) if crc & 0x80000000 else (crc << 1)
        table.append(crc & 0xFFFFFFFF)
    return table


TABLE = make_table()


def crc32_bzip2(data):
    crc = 0xFFFFFFFF
    for byte in data:
        crc = ((crc << 8) & 0xFFFFFFFF) ^ TABLE[(crc >> 24) ^ byte]
    return crc ^ 0xFFFFFFFF


def run(command, source, target):
    with open(source, "rb") as f:
        data = f.read()
    if command == "decompress":
        if data[:8] != COMPRESSED:
            sys.exit("not a compressed file")
        content = zlib.decompress(data[12:])
        if struct.unpack(">I", data[8:12])[0] != crc32_bzip2(content):
            sys.exit("checksum mismatch")
        output = content
    elif command == "compress":
        output = COMPRESSED + struct.pack(">I", crc32_bzip2(data)) + zlib.compress(data)
    elif command == "store":
        output = STORED + struct.pack(">I", crc32_bzip2(data)) + data
    else:
        sys.exit("unknown command " + command)
    with open(target, "wb") as f:
        f.write(output)


if __name__ == "__main__":
    assert crc32_bzip2(b"123456789") == 0xFC891918
    arguments = sys.argv[1:]
    for i in range(0, len(arguments), 3):
        run(*arguments[i:i + 3])
