#!/usr/bin/env python3
"""Checks recordings of the simulator's `counter` signal, sample for sample.

The counter sequence: for m = 0, 1, ... v(m) = mix(m + 0x5EED1234) (32 bits),
sample 2m is the low half of v(m), sample 2m + 1 its high half. mix can be
inverted, so two samples at an even position reveal where a run sits.

  counter_check.py FILE...   prints, per file, its stretches as
                             "FILE first_position samples" (one line per stretch)

A WAV file is read as RIFF chunks; its "data" chunk holds 16-bit mono samples.
"""
import struct
import sys

SEED = 0x5EED1234
M32 = 0xFFFFFFFF
C1, C2 = 0x85EBCA6B, 0xC2B2AE35
C1_INV, C2_INV = pow(C1, -1, 1 << 32), pow(C2, -1, 1 << 32)


def mix(x):
    x ^= x >> 16
    x = (x * C1) & M32
    x ^= x >> 13
    x = (x * C2) & M32
    x ^= x >> 16
    return x


def unmix(x):
    x ^= x >> 16
    x = (x * C2_INV) & M32
    x ^= (x >> 13) ^ (x >> 26)
    x = (x * C1_INV) & M32
    x ^= x >> 16
    return x


def sample(k):
    v = mix(((k >> 1) + SEED) & M32)
    return (v >> 16) & 0xFFFF if k & 1 else v & 0xFFFF


def locate(s, i):
    """Position of s[i] in the sequence, or None."""
    for shift in (0, 1):
        j = i + shift
        if j + 3 >= len(s):
            return None
        m = (unmix(s[j] | s[j + 1] << 16) - SEED) & M32
        k = 2 * m - shift
        if k >= 0 and all(sample(k + n) == s[i + n] for n in range(min(6, len(s) - i))):
            return k
    return None


def samples_of(path):
    b = open(path, "rb").read()
    pos = 12
    while pos + 8 <= len(b):
        size = struct.unpack("<I", b[pos + 4:pos + 8])[0]
        if b[pos:pos + 4] == b"data":
            data = b[pos + 8:pos + 8 + size]
            return list(struct.unpack("<%dH" % (len(data) // 2), data[:len(data) & ~1]))
        pos += 8 + size + (size & 1)
    return []


def stretches(s):
    """[(first position, samples)] of the unbroken stretches of `s`; a sample that
    belongs to none counts as a stretch of its own at position -1."""
    out, i = [], 0
    while i < len(s):
        k = locate(s, i)
        if k is None:
            out.append((-1, 1))
            i += 1
            continue
        n = 0
        while i + n < len(s) and sample(k + n) == s[i + n]:
            n += 1
        out.append((k, n))
        i += n
    return out


if __name__ == "__main__":
    for path in sys.argv[1:]:
        for first, count in stretches(samples_of(path)):
            print(path, first, count)
