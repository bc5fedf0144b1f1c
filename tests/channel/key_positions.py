#!/usr/bin/env python3
"""Prints where a KeyContainer keeps its key bytes, for the table in
credentials_test.cpp, from the rule written down in channel/key_container.h
(and not from the code under test): a 15-bit Galois sequence of
x^15 + x^14 + 1 started from the seed's low 15 bits (0x7FFF for 0), stepped
once per key byte, each byte sitting 1 + (the low 7 bits of the state) below
the one before it, the first below offset 4092.

    key_positions.py SEED...
"""
import sys


def positions(seed, count=20):
    state = seed & 0x7FFF or 0x7FFF
    position = 4092
    out = []
    for _ in range(count):
        state = (state >> 1) ^ (0x6000 if state & 1 else 0)
        position -= 1 + (state & 0x7F)
        out.append(position)
    return out


for arg in sys.argv[1:]:
    seed = int(arg, 0)
    print("{0x%04X, {%s}}," % (seed, ", ".join(str(p) for p in positions(seed))))
