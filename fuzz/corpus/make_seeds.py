#!/usr/bin/env python3
"""Writes the seed corpus of the two fuzz targets: short scripts in the byte
language of fuzz/FuzzInput.h and the targets' step readers, each starting the
fuzzer at a situation worth varying. Run from anywhere; it rewrites
fuzz/corpus/module/seed-*, fuzz/corpus/editor/seed-* and
fuzz/corpus/vst3_state/seed-*."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def u8(v):
    return bytes([v & 0xFF])


def u16(v):
    return struct.pack("<H", v & 0xFFFF)


def u32(v):
    return struct.pack("<I", v & 0xFFFFFFFF)


# Reader::anyFloat: an index into its table of special values, a plain
# value in 0..1, or any bit pattern.
SPECIAL = {"0": 0, "1": 2, "0.5": 3, "2": 5, "1e-30": 6, "denorm": 7, "max": 10, "-max": 11, "inf": 12,
           "nan": 14, "44100": 19, "8000": 20, "768000": 21, "7999": 22, "1e-13": 24}


def special(name):
    return u8(SPECIAL[name])


def plain(x):
    return u8(64) + u16(round(x * 65535))


def bits(f):
    return u8(200) + struct.pack("<f", f)


def small(n):  # anyInt32 / anyIntPtr: -8 .. 191
    return u8(n + 8)


INT_PTR_MIN = u8(200)
INT_PTR_MAX = u8(201)


def wide_low(high, low):  # anyIntPtr: high << (bits - 9), plus low
    return u8(202) + u8(high) + u8(low)


# --- the module target ------------------------------------------------------

def create(rate_pick=0, entry=0, unmasked=False):
    # version 2400 (with the top bit: a host that runs with floating-point
    # exceptions unmasked), the host's rate answer, no rate sent while
    # answering
    return u8(0x80 if unmasked else 0) + u8(rate_pick) + u8(200) + special("0") + u8(entry)


def request(opcode, index=small(0), value=small(0), opt=special("0"), mode=0, extra=b""):
    return u8(0) + u8(opcode) + index + value + opt + u8(mode) + extra


def sized(size, fill=0):  # pointer mode 1: a buffer of `size` bytes
    return u16(size) + u8(fill)


def record(fill=0):  # pointer mode 2: the request's own record or buffer
    return u8(fill)


def text(length, seed):  # after the buffer, for requests that read a text
    return u16(length) + u32(seed)


def parameter(index, value):
    return u8(2) + u8(1) + u8(index + 2) + value


def process(frames, kind_l, kind_r, seed=1, replacing=True, in_place=False, start=None, spikes=()):
    out = u8(3 if replacing else 4)
    out += u8(0) + u16(frames) + u8(kind_l) + u8(kind_r) + u32(seed)
    out += u8(0 if in_place else 200) + u8(100)
    out += u8(1) if start is None else u8(0) + start
    out += u8(len(spikes))
    for at, left, value in spikes:
        out += u16(at) + u8(1 if left else 0) + value
    return out


def rate(value, direct=True, block=small(0)):
    return u8(5) + value + (u8(1) if direct else u8(0) + block)


def program(value_bytes, reenter=False, reenter_program=small(3)):
    return u8(6) + value_bytes + u8(0 if reenter else 200) + reenter_program


def program_number(n):
    return u8(1) + u8(n + 2)


def program_value(value_bytes):  # any pointer-sized value
    return u8(0) + value_bytes


def editor(action, *args):
    return u8(7) + u8(action) + b"".join(args)


def mains(value):
    return u8(8) + value


def reopen(entry=1):
    return u8(9) + create(entry=entry)


NOISE = 0x21     # noise at 0.5
LOUD = 0x41      # noise at 1e10
ANY_BITS = 0x02  # any bit pattern
WORST = 0x03     # alternating largest finite samples
DENORMAL = 0x04
SQUARE = 0x25
BURSTS = 0x06

MODULE = {
    "process": create() + process(512, NOISE, NOISE) + process(700, NOISE, SQUARE, replacing=False,
                                                               start=plain(0.5)),
    "overflow-8k": create() + rate(special("8000")) + program(program_number(0))
    + process(1024, WORST, WORST) + process(4096, NOISE, NOISE) + program(program_number(7))
    + process(2048, LOUD, BURSTS, seed=9),
    "overflow-11k": create(rate_pick=10) + process(3000, BURSTS, BURSTS, seed=3)
    + process(64, NOISE, NOISE, spikes=[(5, True, special("max")), (6, True, special("-max"))]),
    "rates": create() + rate(special("1e-30")) + process(256, NOISE, NOISE) + rate(special("1e-13"))
    + rate(special("768000"), direct=False, block=small(64)) + process(512, NOISE, NOISE)
    + rate(special("7999")) + rate(special("nan")) + process(300, NOISE, NOISE),
    "construction-rate": create(rate_pick=5) + process(128, NOISE, NOISE) + reopen(0) + process(128, NOISE, NOISE),
    "bad-samples": create() + process(1000, ANY_BITS, DENORMAL, seed=7) + process(65, DENORMAL, ANY_BITS, in_place=True)
    + process(2000, ANY_BITS, NOISE, replacing=False, in_place=True),
    "parameters": create() + parameter(0, special("nan")) + parameter(1, special("inf")) + parameter(2, special("denorm"))
    + parameter(3, special("2")) + parameter(5, special("-max")) + parameter(30, plain(0.3)) + parameter(31, plain(0.4))
    + parameter(-1, special("1")) + process(700, NOISE, NOISE),
    "programs": create() + program(program_value(INT_PTR_MIN)) + program(program_value(wide_low(1, 3))) + program(program_number(-1))
    + program(program_number(8)) + program(program_number(3), reenter=True, reenter_program=small(5))
    + process(256, NOISE, NOISE),
    "editor": create() + editor(0, u32(0x1234)) + editor(2) + editor(3) + editor(4, u8(1), small(65), small(3), special("1"))
    + editor(5, small(1)) + parameter(5, plain(0.8)) + editor(2) + editor(1) + editor(1) + editor(3)
    + editor(0, u32(0)) + reopen(),
    "texts": create()
    + b"".join(request(op, index=small(i), mode=2, extra=record()) for op in (5, 6, 7, 8) for i in (0, 5, 17, 29, 40))
    + request(4, mode=1, extra=sized(40) + text(200, 11)) + request(5, mode=2, extra=record())
    + request(29, index=small(2), value=small(-1), mode=2, extra=record())
    + b"".join(request(op, mode=2, extra=record()) for op in (33, 34, 45, 46, 47, 48))
    + request(51, mode=1, extra=sized(20) + text(16, 5)) + request(27, mode=1, extra=sized(10) + text(4, 9)),
    "requests": create() + b"".join(request(op, extra=u8(0) if op == 42 else b"") for op in range(0, 72) if op != 1)
    + request(13, mode=2, extra=record()) + request(25, mode=2, extra=u8(2) + small(0) + small(0) + small(0) + small(0))
    + request(42, mode=1, extra=sized(32) + u8(1) + sized(40)) + request(11, value=wide_low(1, 0)),
    "unmasked-host": create(unmasked=True) + parameter(0, special("nan")) + parameter(5, special("max"))
    + process(600, ANY_BITS, WORST, seed=5) + rate(special("8000")) + program(program_number(0))
    + process(1024, WORST, WORST, replacing=False) + editor(0, u32(0x1234)) + editor(3) + editor(1)
    + request(7, index=small(5), mode=2, extra=record()) + reopen(),
    "mains": create() + mains(small(0)) + mains(small(1)) + mains(INT_PTR_MIN) + process(200, NOISE, NOISE) + reopen(),
}

# --- the editor target ------------------------------------------------------

NONE, CLOSE, CLOSE_OPEN, OTHER, PROGRAM = 0, 201, 202, 203, 204  # reaction bytes (% 5)


def step(kind, *args, reaction=NONE, argument=0):
    return u8(reaction) + u8(argument) + u8(kind) + b"".join(args)


def on_slider(slider, x, y=6):  # x from the slider's left edge
    return u8(0) + u8(slider) + struct.pack("<b", x - 40) + u8(y + 4)


def anywhere(x, y):
    return u8(2) + u16(x + 10) + u16(y + 10)


def far(x, y):
    return u8(3) + struct.pack("<hh", x, y)


LEFT, RIGHT, MIDDLE = 0, 1, 2


def down(point, button=LEFT, shift=False, **kw):
    return step(0, point, u8(button), u8(1 if shift else 0), **kw)


def move(point, shift=False, **kw):
    return step(2, point, u8(1 if shift else 0), **kw)


def up(point, button=LEFT, shift=False, **kw):
    return step(4, point, u8(button), u8(1 if shift else 0), **kw)


def tick():
    return step(5, u8(1))


def lose_capture():
    return step(5, u8(0))


EDITOR = {
    "drag": u8(7) + down(on_slider(5, 30)) + move(on_slider(5, 60)) + move(on_slider(5, 160)) + move(far(-3000, 5))
    + up(on_slider(5, 40)) + tick(),
    "fine-drag": u8(0) + down(on_slider(2, 50), shift=True) + move(on_slider(2, 90)) + move(anywhere(400, 240))
    + move(on_slider(2, -80)) + up(on_slider(2, 0)) + tick(),
    "close-in-drag": u8(7) + down(on_slider(9, 50), reaction=CLOSE) + move(on_slider(9, 70)) + step(9, u16(77))
    + down(on_slider(9, 20)) + up(on_slider(9, 20)),
    "reopen-in-drag": u8(3) + down(on_slider(0, 50)) + move(on_slider(0, 55), reaction=CLOSE_OPEN)
    + move(on_slider(0, 60)) + up(on_slider(0, 60)) + tick(),
    "other-changes-in-drag": u8(5) + down(on_slider(14, 20), reaction=OTHER, argument=14)
    + move(on_slider(14, 80), reaction=PROGRAM, argument=2) + up(on_slider(14, 80)) + tick(),
    "lost-capture": u8(7) + down(on_slider(3, 30)) + move(on_slider(3, 50)) + lose_capture()
    + move(on_slider(4, 70)) + lose_capture() + up(on_slider(4, 70)),
    "buttons": u8(1) + down(on_slider(7, 60), RIGHT) + up(on_slider(7, 60), RIGHT) + down(on_slider(8, 60), MIDDLE)
    + down(on_slider(8, 60)) + up(on_slider(8, 60), RIGHT) + move(on_slider(8, 90)) + up(on_slider(8, 90))
    + down(anywhere(5, 5)) + up(far(32767, -32768)),
    "plugin-side": u8(6) + step(6, u8(6), special("nan")) + step(6, u8(1), special("inf")) + step(6, u8(10), plain(0.7))
    + step(7, u8(5)) + step(8, u8(30), *[u8(0x41)] * 30) + tick() + step(11, u8(0)) + step(10) + step(6, u8(3), plain(0.1))
    + step(9, u16(1)) + tick(),
}


# The saved state (edition/SavedState.h), through the VST3 object: a piece size byte, then the stream.
GATED = [0, 1, 0.33, 0, 0, 0.6, 0.625, 0.675, 0.675, 0.65, 0.675, 0.6875, 0.6875, 0.7, 0.7125, 0.7125, 0.7, 0.725,
         0.7625, 0.75, 0.7375, 0.75]


def vst3_state(values=GATED, program=1, bypass=0, version=2, magic=b"HlvS", key=0):
    state = magic + u32(version) + b"".join(struct.pack("<f", v) for v in values) + u32(program) + u32(bypass)
    return state if version == 1 else state + u32(key)


VST3_STATE = {
    "whole": u8(255) + vst3_state(key=4),
    "pieces": u8(6) + vst3_state(bypass=1, program=7, key=2),
    "trailing": u8(255) + vst3_state() + b"more",
    "short": u8(255) + vst3_state()[:60],
    "newer": u8(255) + vst3_state(version=3),
    "nan": u8(3) + vst3_state(values=[float("nan")] + GATED[1:]),
    "program": u8(255) + vst3_state(program=8),
    "key": u8(255) + vst3_state(key=5),
    "v2-without-key": u8(255) + vst3_state()[:104],
    "v1": u8(255) + vst3_state(version=1),
    "v1-pieces": u8(5) + vst3_state(version=1, bypass=1, program=3),
    "v1-trailing": u8(255) + vst3_state(version=1) + b"more",
}


def write(folder, seeds):
    path = os.path.join(HERE, folder)
    os.makedirs(path, exist_ok=True)
    for name in os.listdir(path):
        if name.startswith("seed-"):
            os.remove(os.path.join(path, name))
    for name, data in seeds.items():
        with open(os.path.join(path, "seed-" + name), "wb") as f:
            f.write(data)


write("module", MODULE)
write("editor", EDITOR)
write("vst3_state", VST3_STATE)
