#!/usr/bin/env python3
"""Writes the members of the -lh1- benchmark archive into a folder.

Usage: make_lh1_bench_data.py FOLDER

Five files, 16 MB in all, the same on every run (fixed seeds): two of
text (sentences of invented words with a few very common ones, CR LF line
ends, like a manual or a game log), two of executable-like bytes
(recurring instruction patterns, little-endian words and tables, zero
padding, strings, some incompressible stretches), and a text of 200 KiB
that repeats after exactly 4,096 bytes, the size of the window, so that
its only matches lie at the window's far end.
"""
import itertools
import random
import sys
from pathlib import Path

TEXT_SIZES = {"manual.txt": 5_000_000, "events.log": 3_000_000}
BINARY_SIZES = {"game.exe": 5_000_000, "world.dat": 3_000_000}
PERIODIC = ("credits.txt", 200 * 1024, 4096)


def text_like(seed: int, size: int) -> bytes:
    rng = random.Random(seed)
    letters = "etaoinshrdlucmfwypvbgkqjxz"
    letter_weights = list(itertools.accumulate(26 - i for i in range(len(letters))))
    words = ["".join(rng.choices(letters, cum_weights=letter_weights, k=rng.randint(1, 10))) for _ in range(6000)]
    word_weights = list(itertools.accumulate(1.0 / (i + 1) for i in range(len(words))))
    out = []
    length = 0
    while length < size:
        sentence = " ".join(rng.choices(words, cum_weights=word_weights, k=rng.randint(4, 18)))
        line = sentence[0].upper() + sentence[1:] + "."
        line += "\r\n" if rng.random() < 0.3 else " "
        out.append(line)
        length += len(line)
    return "".join(out).encode("ascii")[:size]


def binary_like(seed: int, size: int) -> bytes:
    rng = random.Random(seed)
    patterns = [bytes(rng.randrange(256) for _ in range(rng.randint(1, 7))) for _ in range(2000)]
    names = [("Wyrm" + "".join(rng.choices("abcdefghij", k=rng.randint(3, 12)))).encode() for _ in range(300)]
    out = bytearray()
    while len(out) < size:
        kind = rng.random()
        if kind < 0.50:
            out += patterns[min(int(rng.paretovariate(0.6)) - 1, len(patterns) - 1)]
        elif kind < 0.68:
            out += (rng.randrange(0x400000) * 4).to_bytes(4, "little")
        elif kind < 0.73:
            out += bytes(rng.randrange(1, 400))
        elif kind < 0.82:
            out += rng.choice(names) + b"\0"
        elif kind < 0.90:
            base = rng.randrange(0x10000)
            for i in range(rng.randint(4, 40)):
                out += ((base + 16 * i) & 0xFFFF).to_bytes(2, "little")
        else:
            out += bytes(rng.randrange(256) for _ in range(rng.randint(16, 128)))
    return bytes(out[:size])


def main() -> None:
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    folder = Path(sys.argv[1])
    folder.mkdir(parents=True, exist_ok=True)
    for seed, (name, size) in enumerate(TEXT_SIZES.items(), start=1):
        (folder / name).write_bytes(text_like(seed, size))
    for seed, (name, size) in enumerate(BINARY_SIZES.items(), start=11):
        (folder / name).write_bytes(binary_like(seed, size))
    name, size, period = PERIODIC
    (folder / name).write_bytes((text_like(21, period) * (size // period + 1))[:size])


if __name__ == "__main__":
    main()
