#!/usr/bin/env python3
"""Writes the test signal of halvorine-test-signal.lua as a 32-bit float
stereo WAV: make_signal.py OUT.wav FRAMES RATE"""
import struct
import sys


def signal(frames):
    state = [1, 2]
    out = []
    for n in range(frames):
        loud = (n // 2205) % 2 == 0
        for c in range(2):
            state[c] = (state[c] * 1664525 + 1013904223) & 0xFFFFFFFF
            k = (state[c] >> 8) - 8388608
            out.append(k / 16777216.0 if loud else k / 2147483648.0)
    return out


def write_float_wav(path, samples, rate, channels=2):
    data = struct.pack("<%df" % len(samples), *samples)
    fmt = struct.pack("<HHIIHH", 3, channels, rate, rate * channels * 4, channels * 4, 32)
    with open(path, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", 4 + 8 + len(fmt) + 8 + len(data)) + b"WAVE")
        f.write(b"fmt " + struct.pack("<I", len(fmt)) + fmt)
        f.write(b"data" + struct.pack("<I", len(data)) + data)


if __name__ == "__main__":
    write_float_wav(sys.argv[1], signal(int(sys.argv[2])), int(sys.argv[3]))
