#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz harness into tests/fuzz/corpus, in the encoding
fuzz_record.cpp reads: each seed is a short host session that reaches one part of the plug-in
(a running sequencer, the start and stop notes, external timing, the editor, a full event pool,
every opcode, two instances). Run it again when the encoding changes."""
import math
import os
import struct

# Steps (the low three bits of a step byte; bit 7 picks the second instance).
CREATE, DISPATCH, SET_PARAM, GET_PARAM, EVENTS, BLOCK, HOST, EDITOR = range(8)
SECOND = 0x80
# Block flags.
REPLACING, IN_PLACE = 1, 2
# Host flags.
TWO_TEMPI, SWITCH_TEMPO, NO_TIME, REFUSE_EVENTS, TIME, PPQ_STEP = 1, 2, 4, 8, 16, 32
TEMPO_VALID, PPQ_VALID, PLAYING = 1024, 512, 2


def number(n):
    if 0 <= n < 0xC0:
        return bytes([n])
    if -32 <= n < 0:
        return bytes([0xBF - n])
    return bytes([0xF0]) + struct.pack("<i", n)


def value(v):
    for b in range(0x80):
        if struct.pack("<f", b / 127.0) == struct.pack("<f", v):
            return bytes([b])
    return bytes([0xFF]) + struct.pack("<f", v)


def real(v):
    if math.isfinite(v) and v >= 0 and v * 4 == int(v * 4) and v * 4 <= 0xDF:
        return bytes([int(v * 4)])
    return bytes([0xFF]) + struct.pack("<d", v)


def step(op, second=False):
    return bytes([op | (SECOND if second else 0)])


def set_param(index, v, second=False):
    return step(SET_PARAM, second) + number(index) + value(v)


def block(frames, flags=REPLACING, seed=7, second=False):
    return step(BLOCK, second) + struct.pack("<H", frames) + bytes([flags, seed])


def midi(status, data1, data2, delta, kind=0):
    return bytes([kind]) + number(delta) + bytes([0, status, data1, data2])


def events(items, second=False):
    return step(EVENTS, second) + struct.pack("<H", len(items)) + b"".join(items)


def host(bpm=120, time=None, ppq_step=None, flags=0, tempo2=None, switch=0):
    what = flags | (TWO_TEMPI if tempo2 is not None else 0) | (SWITCH_TEMPO if switch else 0)
    what |= NO_TIME if time is None else TIME
    what |= PPQ_STEP if ppq_step is not None else 0
    out = bytes([what]) + number(bpm)
    if tempo2 is not None:
        out += number(tempo2)
    if switch:
        out += bytes([switch])
    if time is not None:
        ppq, tempo, time_flags = time
        out += real(ppq) + real(tempo) + real(0) + real(44100) + real(0) + number(time_flags)
        if ppq_step is not None:
            out += real(ppq_step)
    return step(HOST) + out


def dispatch(opcode, index=0, val=0, opt=0.0, null=False, extra=b"", second=False):
    choice = bytes([opcode]) if 0 <= opcode < 80 else bytes([0xF0]) + number(opcode)
    return (step(DISPATCH, second) + choice + number(index) + number(val) + value(opt) +
            bytes([1 if null else 0]) + extra)


def text(content):
    return bytes([len(content)]) + content


def editor(what, x=0, y=0, second=False):
    out = step(EDITOR, second) + bytes([what])
    if what % 4 == 3:
        out += struct.pack("<HH", x, y)
    return out


OPEN, IDLE, CLOSE, CLICK = 4, 1, 2, 3  # OPEN carries a parent window
PLAY, STOP = (60, 250), (35, 250)

seeds = {
    "running-internal": host(120) + block(4096) + block(4096, 0) + set_param(16, 0.32) +
    block(4096, REPLACING | IN_PLACE) + set_param(20, 0.04) + block(2048, IN_PLACE) +
    set_param(19, 0.25) + set_param(18, 0.75) + block(4096),
    "start-stop-notes": host(120) + set_param(22, 1.0) + block(1024) +
    events([midi(0x99, 12, 100, 5)]) + block(512) +
    events([midi(0x90, 13, 1, 0), midi(0x80, 12, 64, 3)]) + block(1024) +
    events([midi(0x90, 14, 90, 300), midi(0x90, 12, 0, 2)]) + block(256) + block(256) +
    set_param(22, 0.0) + set_param(22, 1.0) + dispatch(2, val=0) + block(512),
    "external-timing": host(120, time=(4.25, 120.0, TEMPO_VALID | PPQ_VALID | PLAYING),
                            ppq_step=1 / 256) +
    set_param(21, 1.0) + block(4096) + set_param(16, 0.04) + block(2048, 0) +
    host(90, time=(-3.5, float("nan"), -1)) + block(512) +
    host(0, time=(float("inf"), 1e300, TEMPO_VALID)) + block(64) + set_param(20, 1.0) +
    host(120, time=(1e18, 140.0, TEMPO_VALID), ppq_step=-0.75) + block(4096) +
    host(120, time=(2.0, 120.0, PLAYING), ppq_step=1 / 64) + set_param(22, 1.0) + block(4096) +
    events([midi(0x90, 12, 64, 100)]) + block(4096) + events([midi(0x90, 13, 64, 10)]) +
    block(4096, 0),
    "tempo-changes": host(120, tempo2=60, switch=37) + set_param(16, 0.32) + block(4096) +
    host(0) + block(1024) + host(-5) + block(100) + dispatch(10, opt=1e9) + host(250) +
    block(4096) + dispatch(43, val=512, opt=float("nan")) + block(777),
    "editor": dispatch(14, extra=b"\x01") + dispatch(13) + dispatch(19) + host(120) +
    block(1024) + dispatch(19) + editor(CLICK, *STOP) + block(2048) + editor(CLICK, *PLAY) +
    block(2048) + editor(CLICK, 300, 20) + editor(IDLE) + editor(OPEN) + editor(CLOSE) +
    editor(IDLE) + editor(CLOSE) + editor(OPEN) + set_param(5, 0.9) + dispatch(2, val=3) +
    editor(CLICK, 600, 270) + dispatch(15) + dispatch(13),
    "full-pool": host(120) + events([midi(0x90, 12 + i % 3, 100, i) for i in range(300)]) +
    block(128) + events([midi(0x90, 13, 1, -99), midi(0x90, 12, 1, -7),
                         midi(0xB0, 1, 2, 2**31 - 1)] +
                        [midi(0x90, 60, 1, i, kind=0xE0 if i % 5 == 0 else 0)
                         for i in range(997)]) +
    block(4096) + block(4096, 0),
    "every-opcode": b"".join(dispatch(op, index=1, val=1, opt=0.5,
                                      extra=text(b"x" * 60) if op in (4, 27, 51) else
                                      (b"\x01" if op == 14 else b""))
                             for op in range(80) if op not in (1, 25)) +
    dispatch(-1) + dispatch(2**31 - 1) + dispatch(4, extra=text(b"receiveVstEvents")) +
    dispatch(4, extra=text(b"N" * 200)) + dispatch(5) + dispatch(51, extra=b"\x00") +
    dispatch(7, index=-(2**31)) + dispatch(8, index=-(2**31)) + dispatch(5, null=True) +
    dispatch(2, val=15) + dispatch(2, val=-1) + dispatch(29, index=15),
    "two-instances": step(CREATE, True) + number(2400) + host(120) + block(512) +
    block(512, second=True) + set_param(22, 1.0, True) + block(4096, second=True) +
    events([midi(0x90, 12, 9, 3)], True) + block(64) + block(64, second=True) +
    dispatch(1) + block(64, second=True) + step(CREATE) + number(0) + step(CREATE) +
    number(1) + block(1024) + dispatch(1, second=True) + block(256),
    "no-buffers": host(140) + b"".join(block(1000, flags << 2 | r, seed=flags)
                                       for flags in range(6) for r in (0, 1)) + block(0) +
    block(0, 0),
}

if __name__ == "__main__":
    folder = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")
    os.makedirs(folder, exist_ok=True)
    for name, data in seeds.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
