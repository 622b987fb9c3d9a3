#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz harnesses: into tests/fuzz/corpus in the encoding
fuzz_record.cpp reads, and into tests/fuzz/corpus-clap in the one fuzz_clap.cpp reads. Each seed
is a short host session that reaches one part of the plug-in (a running sequencer, the start and
stop notes, external timing, the editor, a full event pool, every opcode, two instances; through
the CLAP door also its life cycle, parameter texts, state blobs and audio buffers). Run it again
when an encoding changes."""
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


# ---- The CLAP door (fuzz_clap.cpp) -------------------------------------------------------------

# Steps (the low four bits of a step byte; bit 7 picks the second plug-in).
(C_CREATE, C_INIT, C_ACTIVATE, C_DEACTIVATE, C_START, C_STOP, C_RESET, C_PROCESS, C_DESTROY,
 C_PARAMS, C_STATE, C_GUI, C_EXTENSION, C_HOST) = range(14)
# Transport flags.
T_TEMPO, T_BEATS, T_SECONDS, T_TSIG, T_PLAYING = 1, 2, 4, 8, 16
# Event kinds (the low four bits of an event's kind byte).
E_NOTE_ON, E_NOTE_OFF, E_MIDI, E_PARAM, E_TRANSPORT, E_BEGIN, E_END, E_SYSEX, E_CHOKE, E_MOD, \
    E_MIDI2, E_EXPRESSION = range(12)
E_OTHER_TYPE, E_SPACE, E_SIZE = 12, 16, 32


def c_step(op, second=False):
    return step(op, second)


def c_create(how=0, major=None, second=False):
    out = c_step(C_CREATE, second) + bytes([how | (1 if major is not None else 0)])
    return out + (number(major) if major is not None else b"")


def c_activate(rate_index=0, most=512, second=False):
    return c_step(C_ACTIVATE, second) + bytes([rate_index]) + number(1) + struct.pack("<H", most)


def c_ready(most=512, second=False):
    return (c_step(C_INIT, second) + c_activate(0, most, second) + c_step(C_START, second))


def c_event(kind, time=0, body=b"", extra=b""):
    return bytes([kind]) + extra + number(time) + body


def c_note(on, key, time=0, channel=0, velocity=100):
    return c_event(E_NOTE_ON if on else E_NOTE_OFF, time,
                   number(-1) + number(0) + number(channel) + number(key) + real(velocity / 4))


def c_midi(status, data1, data2, time=0):
    return c_event(E_MIDI, time, number(0) + bytes([status, data1, data2]))


def c_param(index, v, time=0):
    pick = round(v * 127)
    body = bytes([0, index]) + (bytes([pick]) if abs(pick / 127 - v) < 1e-12
                                 else bytes([0xFF]) + struct.pack("<d", v))
    return c_event(E_PARAM, time, body)


def c_events(items):
    return struct.pack("<H", len(items)) + b"".join(items)


def c_transport(flags=T_TEMPO | T_BEATS | T_PLAYING, bpm=120, beats=8.0):
    tempo = bytes([bpm]) if flags < 0x80 else real(bpm)
    return bytes([flags]) + tempo + real(beats) + bytes([0, 4, 4])


def c_block(frames=512, items=(), transport=None, way=1, audio=0x3F, flags=0, second=False,
            at=0):
    how = (way if transport is not None else 0) | flags | 4 | 8
    out = c_step(C_PROCESS, second) + struct.pack("<H", frames) + bytes([how])
    if transport is not None:
        out += transport
    out += c_events(list(items))
    if transport is not None and way == 2:
        out += bytes([at])
    return out + bytes([audio, 7])


def c_params(what, index=0, extra=b"", second=False):
    return c_step(C_PARAMS, second) + bytes([what]) + bytes([index]) + extra


def c_state(what, extra=b"", second=False):
    return c_step(C_STATE, second) + bytes([what]) + extra


def c_gui(what, extra=b"", second=False):
    return c_step(C_GUI, second) + bytes([what]) + extra


PLAYING_120 = c_transport()
clap_seeds = {
    "clap-running": c_ready() + b"".join(
        c_block(512, [c_param(16, 0.16)] if i == 0 else [], PLAYING_120) for i in range(8)) +
    c_block(512, [c_param(17, 0.5), c_param(18, 0.25), c_param(19, 0.75)], PLAYING_120, way=2) +
    c_block(300) + c_block(512, [c_param(20, 0.04)]) + c_block(0) + c_block(1),
    "clap-notes": c_ready() + c_block(512, [c_param(22, 1.0)], PLAYING_120) +
    c_block(512, [c_note(True, 12, 5)], PLAYING_120) +
    c_block(512, [c_note(True, 13, 100, channel=9), c_note(False, 12, 3),
                  c_midi(0x90, 14, 0, 7), c_midi(0x99, 14, 64, 200)], PLAYING_120) +
    c_block(512, [c_note(True, 12, 400 - i) for i in range(300)]) +
    c_block(512, [c_midi(0x90, 13, 1, -(2**31) + 5), c_note(True, 12, 0, velocity=0),
                  c_note(True, 200, 1), c_note(True, -1, 1)]) +
    c_block(512, [c_midi(0x90, 60 + i % 3, 1, i) for i in range(1100)]) + c_block(512),
    "clap-external": c_ready(4096) + c_block(4096, [c_param(21, 1.0)], PLAYING_120) +
    c_block(4096, [], c_transport(T_TEMPO | T_BEATS | T_PLAYING | T_TSIG, 90, 3.5)) +
    c_block(2048, [], c_transport(T_TEMPO | 0x80, float("nan"), float("inf"))) +
    c_block(1024, [], c_transport(T_BEATS | T_PLAYING, 0, -4.0)) +
    c_block(1024, [], c_transport(0xFF, 1e300, 9.3e18)) + c_block(4096) +
    c_block(512, [c_param(22, 1.0), c_note(True, 12, 10)], PLAYING_120, way=2, at=1),
    "clap-life-cycle": c_create(0, major=0) + c_create(2) + c_create(4) + c_create(0, major=2) +
    c_create() + c_step(C_INIT) + c_activate(0x90, 512) + c_activate(0x7F, 0) +
    c_activate(2, 8192) + c_step(C_RESET) + c_step(C_START) + c_block(8192, [], PLAYING_120) +
    c_step(C_RESET) + c_block(64) + c_step(C_STOP) + c_step(C_DEACTIVATE) +
    c_activate(3, 128) + c_step(C_START) + c_block(128) + c_step(C_DESTROY) + c_create() +
    c_step(C_INIT) + c_create(second=True) + c_ready(second=True) +
    c_block(256, [c_param(22, 1.0)], second=True) + c_activate(1, 64) + c_step(C_START) +
    c_block(64, [c_note(True, 12)]) + c_step(C_DESTROY, True) + c_block(64),
    "clap-params": c_step(C_INIT) + b"".join(c_params(0, i) for i in range(0, 25, 6)) +
    c_params(8, 1) + c_params(0x80, extra=number(-1)) +
    b"".join(c_params(1 + 5 * k, i, real(x) + bytes([cap]))
             for k, (i, x, cap) in enumerate([(0, 0.5, 64), (17, 1.0, 3), (16, 0.25, 1),
                                              (22, float("nan"), 64), (23, 0.5, 64),
                                              (20, 1e300, 0)])) +
    c_params(17, 2, extra=real(-0.25) + bytes([200])) +
    b"".join(c_params(2, i, bytes([n])) for i, n in ((0, 0), (1, 1), (2, 2), (3, 3), (4, 4),
                                                      (5, 5), (6, 6), (99, 0))) +
    c_params(2, 7, bytes([30]) + b"0" * 23) + c_params(2, 0, bytes([70]) + b"9" * 63) +
    b"".join(c_params(3, i) for i in (0, 21, 22, 23)) +
    c_params(4, 0, c_events([c_param(5, 0.9), c_param(22, 1.0), c_note(True, 12),
                             c_param(40, 0.5), c_event(E_PARAM | E_SPACE, 0, bytes([0, 3, 9]),
                                                       extra=bytes([1]))])) +
    c_params(12, 0) + c_params(20, 0, c_events([])),
    "clap-state": c_step(C_INIT) + c_params(4, 0, c_events([c_param(3, 0.3)])) + c_state(0) +
    c_state(3) + c_state(8, bytes([5])) + c_state(16, struct.pack("<H", 100)) +
    c_state(1, struct.pack("<H", 12) + b"OSTR" + bytes([1, 0, 0, 0, 16, 0, 0, 0])) +
    c_state(2, bytes([1]) + struct.pack("<H", 4) + bytes([2])) +
    c_state(2, bytes([1]) + struct.pack("<H", 2000) + bytes([0x40])) +
    c_state(2 | 64, bytes([0]) + struct.pack("<H", 1000)) +
    c_state(2 | 8, bytes([3, 0])) + c_state(2 | 16, struct.pack("<H", 50) + bytes([0])) +
    c_create(second=True) + c_step(C_INIT, True) + c_state(0, second=True) + c_state(3 | 32) +
    c_state(2 | 32, bytes([0])),
    "clap-editor": c_ready() + c_gui(2) + c_gui(1) + c_gui(0x10 * 3) +
    c_gui(0x40 * 3) + c_gui(0x10) + c_gui(0) + c_gui(4) + c_gui(1, number(0)) +
    c_gui(1, number(4096)) + c_gui(1, number(77)) + c_gui(6 | 8) + c_gui(2) + c_gui(3) +
    c_gui(5, struct.pack("<HH", 626, 280)) + c_gui(5, struct.pack("<HH", 700, 280)) +
    c_gui(6, number(12345)) + c_gui(7, real(2.0)) + c_block(512, [], PLAYING_120) +
    c_gui(6 | 8) + c_gui(0) + c_gui(0) + c_gui(1 | 8, number(5)) + c_step(C_HOST) + bytes([1]) +
    c_gui(0) + c_gui(1, number(9)) + c_step(C_DESTROY),
    "clap-buffers": c_ready(1000) + b"".join(
        c_block(1000, [], PLAYING_120, audio=a) for a in (0x00, 0x3F, 0x7A, 0x35, 0x1F, 0x2F,
                                                          0xBF, 0x15, 0x6E)) +
    c_block(1000, flags=4 | 8 | 16 | 32) + c_block(1000, [], PLAYING_120, flags=32) +
    c_block(999, [c_event(E_OTHER_TYPE, 3, bytes([9]) + bytes(16), number(300))] +
            [c_event(k | E_SIZE, 9 - k, bytes(40), number(k * 7)) for k in range(12)]) +
    c_step(C_EXTENSION) + bytes([10]) + b"clap.stat" + c_step(C_EXTENSION) + bytes([0]),
}

if __name__ == "__main__":
    here = os.path.dirname(os.path.abspath(__file__))
    for folder, found in (("corpus", seeds), ("corpus-clap", clap_seeds)):
        os.makedirs(os.path.join(here, folder), exist_ok=True)
        for name, data in found.items():
            with open(os.path.join(here, folder, name), "wb") as f:
                f.write(data)
