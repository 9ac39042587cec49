#!/usr/bin/env python3
"""Writes the fuzz targets' seed corpora from the test archives.

tests/fuzz/extract/: the small corpus archives whole, and a stored archive
of a few game files. tests/fuzz/lh1/: the packed data of every -lh1-
member of the corpus archives, after its unpacked size in two bytes (at
most 65535, which cuts the longer members short), packed data of at most
16 kB.

Usage: tests/fuzz/make_seeds.py   (from anywhere; rewrites both folders)
"""
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.join(HERE, '..', '..')
sys.path.insert(0, os.path.join(ROOT, 'tools'))
import make_stored_archive  # noqa: E402

CORPUS = os.path.join(ROOT, 'tests', 'data', 'corpus')
MAX_SEED = 16384


def members(archive):
    """(method, unpacked size, packed data) of each level-0 member."""
    at = 0
    while at < len(archive) and archive[at] != 0:
        size = archive[at]
        header = archive[at:at + size + 2]
        packed = int.from_bytes(header[7:11], 'little')
        unpacked = int.from_bytes(header[11:15], 'little')
        start = at + size + 2
        yield header[2:7], unpacked, archive[start:start + packed]
        at = start + packed


def write(folder, name, data):
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), 'wb') as f:
        f.write(data)


def main():
    extract = os.path.join(HERE, 'extract')
    lh1 = os.path.join(HERE, 'lh1')
    for entry in sorted(os.listdir(CORPUS)):
        path = os.path.join(CORPUS, entry, entry + '.lzh')
        if not os.path.exists(path):
            continue
        with open(path, 'rb') as f:
            archive = f.read()
        if len(archive) <= MAX_SEED:
            write(extract, entry + '.lzh', archive)
        for index, (method, unpacked, packed) in enumerate(members(archive)):
            if method == b'-lh1-':
                size = min(unpacked, 0xFFFF).to_bytes(2, 'little')
                write(lh1, '%s-%d' % (entry, index), size + packed[:MAX_SEED - 2])
    game = [make_stored_archive.stored_member(name, data) for name, data in (
        (b'yamawyrm.exe', b'MZ' + bytes(range(64))), (b'sub\\jguide.txt', b'guide\r\n'),
        (b'metadata.txt\0comment', b'meta'))]
    write(extract, 'stored.lzh', b''.join(game) + b'\0')


if __name__ == '__main__':
    main()
