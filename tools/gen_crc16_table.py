#!/usr/bin/env python3
"""Prints the CRC-16/ARC table of lha/crc16.cpp: entry i is the register
after shifting the byte i eight times through the reflected polynomial
0xA001 from a zero register."""


def table():
    entries = []
    for i in range(256):
        c = i
        for _ in range(8):
            c = (c >> 1) ^ 0xA001 if c & 1 else c >> 1
        entries.append(c)
    return entries


def main():
    t = table()
    for r in range(0, 256, 8):
        print('    ' + ', '.join('0x%04X' % x for x in t[r:r + 8]) + ',')


if __name__ == '__main__':
    main()
