#!/usr/bin/env python3
"""Writes a level-0 LHA archive of stored (-lh0-) members.

    tools/make_stored_archive.py OUT FILE...

Each FILE becomes one member named by its base name (converted to code page
932), in the order given, followed by the end marker.
"""
import os
import sys


def _crc16_table():
    """Each byte shifted bit by bit through the reflected polynomial."""
    table = []
    for byte in range(256):
        crc = byte
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
        table.append(crc)
    return table


_CRC16_TABLE = _crc16_table()


def crc16(data):
    """CRC-16/ARC: reflected polynomial 0xA001, initial value 0."""
    crc = 0
    table = _CRC16_TABLE
    for byte in data:
        crc = table[(crc ^ byte) & 0xFF] ^ (crc >> 8)
    return crc


def stored_member(name, data):
    body = b'-lh0-'                              # method id
    body += len(data).to_bytes(4, 'little')      # packed size
    body += len(data).to_bytes(4, 'little')      # unpacked size
    body += (0).to_bytes(2, 'little')            # time, MS-DOS
    body += (0x2921).to_bytes(2, 'little')       # date, MS-DOS: 2000-09-01
    body += b'\x20'                              # attribute: archive
    body += b'\x00'                              # header level 0
    body += bytes([len(name)]) + name            # name length, name
    body += crc16(data).to_bytes(2, 'little')    # CRC-16/ARC of the data
    if len(body) > 255:
        raise SystemExit('name too long: %r' % name)
    return bytes([len(body), sum(body) & 0xFF]) + body + data


def main():
    if len(sys.argv) < 3:
        raise SystemExit(__doc__)
    out = b''
    for path in sys.argv[2:]:
        with open(path, 'rb') as f:
            out += stored_member(os.path.basename(path).encode('cp932'), f.read())
    with open(sys.argv[1], 'wb') as f:
        f.write(out + b'\x00')


if __name__ == '__main__':
    main()
