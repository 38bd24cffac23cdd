#!/usr/bin/env python3
"""compare_wav.py STEREO.wav LEFT.wav RIGHT.wav: passes when the two mono
32-bit float files hold exactly the stereo file's channels (the mono files
may run longer: a bounce can carry a tail), bit for bit."""
import struct
import sys


def read_float_wav(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:4] != b"RIFF" or data[8:12] != b"WAVE":
        sys.exit("%s: not a WAV file" % path)
    at, channels, tag, bits, samples = 12, None, None, None, None
    while at + 8 <= len(data):
        kind, size = data[at:at + 4], struct.unpack("<I", data[at + 4:at + 8])[0]
        body = data[at + 8:at + 8 + size]
        if kind == b"fmt ":
            tag, channels = struct.unpack("<HH", body[:4])
            bits = struct.unpack("<H", body[14:16])[0]
            if tag == 0xFFFE:
                tag = struct.unpack("<H", body[24:26])[0]
        elif kind == b"data":
            samples = body
        at += 8 + size + (size & 1)
    if tag != 3 or bits != 32 or samples is None:
        sys.exit("%s: not 32-bit float (format %s, %s bits)" % (path, tag, bits))
    words = struct.unpack("<%dI" % (len(samples) // 4), samples[:len(samples) // 4 * 4])
    return [list(words[c::channels]) for c in range(channels)]


stereo = read_float_wav(sys.argv[1])
for c, path in enumerate(sys.argv[2:4]):
    mono = read_float_wav(path)[0]
    want = stereo[c]
    if len(mono) < len(want):
        sys.exit("%s: %d frames, expected %d" % (path, len(mono), len(want)))
    for i, (a, b) in enumerate(zip(want, mono)):
        if a != b:
            fa, fb = (struct.unpack("<f", struct.pack("<I", w))[0] for w in (a, b))
            sys.exit("channel %d differs first at frame %d: %r (halvorine render) against %r (Ardour)" % (c, i, fa, fb))
    print("channel %d: %d frames equal bit for bit" % (c, len(want)))
