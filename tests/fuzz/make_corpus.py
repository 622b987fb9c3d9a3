#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz harnesses: into tests/fuzz/corpus in the encoding
fuzz_record.cpp reads, and into tests/fuzz/corpus-clap in the one fuzz_clap.cpp reads. Each seed
is a short host session that reaches one part of the plug-in (a running sequencer, the start and
stop notes, external timing, the editor, a full event pool, every opcode, two instances; through
the CLAP door also its life cycle, parameter texts, state blobs and audio buffers). The LV2 door's
seeds (tests/fuzz/corpus-lv2, fuzz_lv2.cpp's encoding) reach its features, ports, time:Position
messages, malformed atoms and small output buffers; the VST 3 door's (tests/fuzz/corpus-vst3,
fuzz_vst3.cpp's encoding) its life cycle, process contexts, notes, parameter changes with the
program's, parameter calls, buses and state blobs. Run it again when an encoding changes."""
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


# ---- The LV2 door (fuzz_lv2.cpp) ---------------------------------------------------------------

# Steps (the low four bits of a step byte; bit 7 picks the second instance; 6 to 15 run too).
L_RUN, L_INSTANTIATE, L_CONNECT, L_ACTIVATE, L_DEACTIVATE, L_CLEANUP = range(6)
# Instantiate flags.
NO_MAP, NULL_MAP, FAILING_MAP, OPTIONS, NO_FEATURES, ODD_FEATURES, URID_BASE = (1, 2, 4, 8, 16, 32,
                                                                              64)
# Ports an instance is not connected to at first.
P_CONTROLS, P_LOST, P_ATOM, P_NOTIFY = 1, 2, 4, 8
# Event kinds (the low three bits), and the atom kinds of property values.
V_NOTE, V_MIDI3, V_MIDI_ANY, V_POSITION, V_OBJECT, V_ATOM, V_EMPTY, V_LYING = range(8)
A_FLOAT, A_DOUBLE, A_INT, A_LONG, A_RAW_DOUBLE, A_OBJECT, A_TEXT, A_OTHER = range(8)
# Position keys (the index into the harness's table).
K_FRAME, K_SPEED, K_BAR, K_BAR_BEAT, K_BEAT, K_BEAT_UNIT, K_BEATS_PER_BAR, K_BPM = range(8)


def l_step(op, second=False):
    return step(op, second)


def any_float(v):
    return bytes([0xFF]) + struct.pack("<f", v)


def l_instantiate(how=OPTIONS, rate=0, block=512, ports=0, options=None, base=None,
                  second=False):
    out = l_step(L_INSTANTIATE, second) + bytes([how | (URID_BASE if base is not None else 0)])
    if base is not None:
        out += number(base)
    out += bytes([rate]) if isinstance(rate, int) else real_rate(rate)
    if how & OPTIONS:
        opts = options if options is not None else [bytes([1 | 128]) + number(block)]
        out += bytes([len(opts)]) + b"".join(opts)
    return out + bytes([ports])


def real_rate(r):
    # A rate byte of 0x80 or more reads a real and takes 8 from it.
    return bytes([0x80]) + real(r + 8.0)


def l_connect(port, none=False, second=False):
    return l_step(L_CONNECT, second) + number(port) + bytes([1 if none else 0])


MOST = 0xC0  # a run's frames: the host's longest block (0xC1: one less, and so on)


def l_run(frames=MOST, controls=(), atom=None, capacity=0x40, audio=0x0F, seed=7, second=False):
    """frames: a byte (below 0x80: that many; 0x80 + n: 16 n; MOST) or ('any', n)."""
    out = l_step(L_RUN, second)
    out += bytes([0xE0]) + struct.pack("<H", frames[1]) if isinstance(frames, tuple) \
        else bytes([frames])
    out += bytes([len(controls)]) + b"".join(bytes([i]) + v for i, v in controls)
    out += bytes([1]) if atom is None else bytes([0]) + atom
    out += capacity if isinstance(capacity, bytes) else bytes([capacity])
    return out + bytes([audio, seed])


def room(events, extra=0):
    # An output buffer with room for this many messages (and extra bytes).
    return bytes([0x18 + events, extra])


def sequence(events, shape=0, type_=None, unit=None, cut=None, slack=None):
    shape |= (128 if len(events) >= 24 else 0) | (16 if cut is not None else 0) | \
        (32 if slack is not None else 0)
    out = bytes([shape])
    if shape % 4 == 3:
        out += number(type_)
    if (shape >> 2) % 4 == 3:
        out += number(unit)
    out += struct.pack("<H", len(events)) if shape & 128 else bytes([len(events)])
    out += b"".join(events)
    if cut is not None:
        out += struct.pack("<H", cut)
    if slack is not None:
        out += bytes([slack])
    return out


def at(frames, kind):
    if -(2**31) <= frames < 2**31:
        return bytes([kind]) + number(frames)
    return bytes([kind | 0x40]) + struct.pack("<q", frames)


def note(frames, key, on=True, velocity=100, channel=0):
    known = {12: 0, 13: 1, 14: 2, 60: 3}
    if key in known:
        how = (known[key] << 6) | (0 if on else 16) | channel
        return at(frames, V_NOTE) + bytes([how, velocity])
    return at(frames, V_NOTE) + bytes([32 | (0 if on else 16) | channel, key, velocity])


def midi_bytes(frames, data):
    return at(frames, V_MIDI_ANY) + bytes([len(data)]) + bytes(data)


def prop(key, value):
    return bytes([key]) + value


def a_float(v):
    return bytes([A_FLOAT]) + any_float(v)


def a_double(v):
    return bytes([A_DOUBLE]) + real(v)


def a_int(v):
    return bytes([A_INT]) + number(v)


def a_long(v):
    return bytes([A_LONG]) + struct.pack("<q", v)


def position(frames, props, blank=False):
    return at(frames, V_POSITION | (8 if blank else 0)) + bytes([0, len(props)]) + b"".join(props)


def playing(frames=0, bpm=120.0, beat=0.0, speed=1.0):
    return position(frames, [prop(K_SPEED, a_float(speed)), prop(K_BPM, a_float(bpm)),
                             prop(K_BEAT, a_double(beat)), prop(K_BAR_BEAT, a_float(beat % 4)),
                             prop(K_BEATS_PER_BAR, a_float(4.0)), prop(K_BEAT_UNIT, a_int(4))])


ZERO, ONE = bytes([0]), bytes([127])
RUN, STOP = (22, ZERO), (22, ONE)
NAN, INF, NEG_INF, NEG_ZERO, DENORM, FMAX = (bytes([b]) for b in (0x80, 0x82, 0x83, 0x84, 0x85,
                                                                0x86))
ACT = l_step(L_ACTIVATE)
FAST = (16, bytes([41]))  # 0.32: 32 steps a beat
PLAY = sequence([playing()])

lv2_seeds = {
    "lv2-running": ACT + l_run(controls=[RUN], atom=PLAY) + l_run(controls=[FAST]) +
    b"".join(l_run() for _ in range(6)) + l_run(controls=[(17, bytes([64])), (18, bytes([10])),
                                                                (19, bytes([100]))]) +
    l_run(audio=0x1F) + l_run(MOST + 1, audio=0x05) + l_run(0x30, audio=0x00) + l_run(0) +
    l_run(1) + l_step(L_DEACTIVATE) + ACT + l_run(controls=[STOP]) + l_run(),
    "lv2-notes": ACT + l_run(controls=[FAST], atom=sequence([playing(), note(5, 12)])) +
    l_run(atom=sequence([note(300, 13), note(2, 12), note(-7, 14, channel=9),
                         note(10**6, 60), note(2**40, 12, velocity=0)])) +
    l_run(atom=sequence([note(0, 12, on=False), midi_bytes(3, [0x90, 12]),
                         midi_bytes(4, [0x90]), midi_bytes(4, []), midi_bytes(5, [0x0C, 1, 2]),
                         midi_bytes(6, [0xF0, 1, 2, 3, 0xF7]), note(1, 13)], shape=8)) +
    l_run(atom=sequence([note(400 - i, 12 + i % 3, velocity=1 + i % 100) for i in range(300)])) +
    l_run(atom=sequence([note(i % 600, 60, velocity=1) for i in range(1100)])) +
    l_run(atom=sequence([note(3, 12)], shape=4)) + l_run(),
    "lv2-small-output": ACT + l_run(controls=[RUN, FAST], atom=PLAY, capacity=room(3)) +
    b"".join(l_run(capacity=room(k, 5)) for k in (0, 1, 17, 2)) + l_run(0, capacity=room(16)) +
    l_run(0, capacity=room(40)) + l_run(capacity=4) + l_run(capacity=15) + l_run(capacity=16) +
    l_connect(6, True) + l_run(capacity=room(1)) + l_connect(6) + l_connect(5, True) + l_run() +
    l_connect(5) + l_run(capacity=bytes([0xA0]) + struct.pack("<H", 100)) + l_run(),
    "lv2-losses": l_step(L_CLEANUP) + l_instantiate(block=65535) + ACT +
    l_run(controls=[RUN, FAST], atom=PLAY, capacity=16) +
    b"".join(l_run(capacity=16, audio=0) for _ in range(30)) +
    l_run(capacity=room(20)) + l_run(0, capacity=0x40) + l_run(capacity=0x40),
    "lv2-positions": ACT + l_run(controls=[RUN, (21, ONE)], atom=sequence([playing()])) +
    l_run() + l_run(atom=sequence([playing(100, 140.0, 7.5), playing(300, 90.0, 1e12)])) +
    l_run(atom=sequence([position(0, [prop(K_BPM, a_double(float("nan"))),
                                      prop(K_BEAT, a_double(float("inf"))),
                                      prop(K_FRAME, a_long(-5)), prop(K_SPEED, a_float(1e30)),
                                      prop(K_BAR, a_long(2**62)),
                                      prop(K_BEAT_UNIT, a_int(0)),
                                      prop(K_BEATS_PER_BAR, a_double(-3.0))])])) +
    l_run(atom=sequence([position(0, [prop(K_SPEED, a_float(0.0))]), playing(50, beat=3.0)])) +
    l_run(atom=sequence([position(7, [prop(K_BPM, a_float(1e-30)), prop(K_FRAME, a_long(2**60))],
                                  blank=True)])) +
    l_run(atom=sequence([playing(0, 100000.0, 9.3e14, speed=-1.0)])) + l_run() +
    l_run(atom=sequence([playing(0, 120.0, 0.0, speed=2.0)], shape=8)) + l_run(0x90) +
    l_run(0, atom=sequence([playing(0, 60.0)])) + l_run(),
    "lv2-malformed": ACT + l_run(controls=[RUN, FAST], atom=PLAY) +
    l_run(atom=sequence([note(1, 12), note(2, 13)], shape=2)) +
    l_run(atom=sequence([note(1, 12)], shape=3, type_=99)) +
    l_run(atom=sequence([note(1, 12), note(2, 60)], cut=30)) +
    l_run(atom=sequence([note(1, 12)], cut=4)) + l_run(atom=sequence([note(1, 12)], cut=0)) +
    l_run(atom=sequence([note(1, 60), note(2, 60)], slack=40, cut=33)) +
    l_run(atom=sequence([at(0, V_LYING) + bytes([3, 0x90, 12, 9]) + number(2**31 - 1),
                         note(1, 60)])) +
    l_run(atom=sequence([at(0, V_LYING) + bytes([3, 0x90, 12, 9]) + number(1), note(1, 60)])) +
    l_run(atom=sequence([at(0, V_EMPTY), at(1, V_EMPTY | 8), at(2, V_EMPTY | 16),
                         at(3, V_ATOM) + bytes([A_OTHER]) + number(7) + bytes([3, 1, 2, 3]) +
                         number(12345),
                         at(4, V_OBJECT) + bytes([1]) + number(4242) + bytes([2]) +
                         prop(K_BPM, a_float(90.0)) + prop(0xC0, number(77) + a_int(3)),
                         at(5, V_POSITION) + bytes([4]) + number(9) + bytes([3]) +
                         prop(K_BPM, bytes([A_OBJECT | 32, 0, 1]) +
                              prop(K_BPM, bytes([A_OBJECT, 0, 1]) + prop(K_BEAT, a_float(1.0)))) +
                         prop(K_BEAT, bytes([A_DOUBLE | 16]) + real(2.0) + number(1000)) +
                         prop(K_SPEED, bytes([A_FLOAT | 16 | 64]) + any_float(1.0) + bytes([2])),
                         at(6, V_POSITION) + bytes([0, 2]) + prop(K_BPM, bytes([A_TEXT, 3]) +
                                                                  b"120") +
                         prop(0xE0, a_float(1.0))], unit=77, shape=12)) +
    l_run(atom=sequence([note(-(2**63), 12), note(2**63 - 1, 13)])) + l_run(),
    # A time:Position (URID 12 in the harness's map) whose size runs past the sequence's end.
    "lv2-object-past-the-end": ACT + l_run(controls=[RUN], atom=PLAY) +
    l_run(atom=sequence([at(0, V_LYING | 8) + bytes([8]) + struct.pack("<II", 0, 12) +
                         number(64)])) + l_run(),
    "lv2-features": l_step(L_CLEANUP) + b"".join(
        l_instantiate(how, rate=r) + ACT + l_run(5)
        for how, r in ((NO_MAP, 0), (NULL_MAP, 0), (NO_FEATURES, 0), (FAILING_MAP, 0),
                       (ODD_FEATURES, 1), (0, 2), (OPTIONS, float("nan")), (OPTIONS, 0.0),
                       (OPTIONS, -44100.0), (OPTIONS, float("inf")), (OPTIONS, 1e300),
                       (OPTIONS, 4.9e-324))) +
    l_instantiate(OPTIONS, base=2**31 - 5) + ACT + l_run(atom=sequence([note(0, 12), playing()])) +
    l_instantiate(OPTIONS | FAILING_MAP) + ACT + l_run(atom=sequence([note(0, 12), playing()])) +
    l_instantiate(OPTIONS, options=[bytes([1, 0]), bytes([1 | 128]) + number(-1),
                                    bytes([1 | 16, 8]), bytes([1 | 32, 8, 8, 1, 2, 3, 4]),
                                    bytes([1 | 64])]) + ACT + l_run(("any", 5000)) +
    l_instantiate(OPTIONS, options=[bytes([1 | 128]) + number(65537)]) + ACT +
    l_run(("any", 12000), atom=sequence([note(5000, 12), note(9000, 13), note(11000, 12)])) +
    l_instantiate(OPTIONS, options=[bytes([5]) + number(0) + bytes([0]), bytes([2, 1]),
                                    bytes([3, 0x40])]) + ACT +
    l_run(controls=[RUN]) + l_instantiate(OPTIONS, block=1) + ACT + l_run(controls=[RUN]) +
    l_run(1) + l_run(0),
    "lv2-two-instances": l_instantiate(second=True) + l_step(L_ACTIVATE, True) +
    l_run(controls=[RUN, FAST], atom=PLAY, second=True) + ACT +
    l_run(controls=[(3, bytes([90])), FAST], atom=PLAY) +
    l_run(second=True) + l_connect(7, True) + l_connect(29, True, second=True) +
    l_run(controls=[(0, ONE)]) + l_run(controls=[RUN], second=True) + l_connect(7) +
    l_connect(30) + l_connect(2**31 - 1) + l_connect(-1, True) + l_connect(4, True) + l_run() +
    l_connect(4) + l_step(L_DEACTIVATE, True) + l_run(second=True) + l_step(L_CLEANUP) +
    l_run(second=True) + l_step(L_ACTIVATE, True) + l_run(second=True) +
    l_instantiate(ports=P_CONTROLS | P_LOST | P_ATOM | P_NOTIFY) + ACT + l_run() + l_run(0),
    "lv2-controls": ACT + l_run(atom=PLAY) +
    l_run(controls=[(22, NAN), (0, INF), (1, NEG_INF), (2, NEG_ZERO),
                                          (3, DENORM), (4, FMAX), (5, any_float(-3.0)),
                                          (6, any_float(1e30))]) +
    l_run(controls=[RUN, (17, any_float(2.0)), (18, NAN), (19, any_float(-0.0))]) +
    l_run(controls=[(i, any_float(0.5 + i / 64)) for i in range(7)]) +
    l_run(controls=[(16, any_float(float("nan"))), (20, any_float(1e-45)), (21, ONE)]) +
    l_run(controls=[(22, any_float(0.49999997)), (22, any_float(0.5))]) + l_run(),
}


# ---- The VST 3 door (fuzz_vst3.cpp) ------------------------------------------------------------

# Steps (the low four bits of a step byte; bit 7 picks the second instance; 9 to 15 process).
V_CREATE, V_SETUP, V_ACTIVE, V_PROCESSING, V_PROCESS, V_PARAMS, V_STATE, V_BUSES, V_TERMINATE = \
    range(9)
# Process flags.
B_CONTEXT, B_NO_EVENTS, B_NO_OUT_EVENTS, B_NO_OUT_CHANGES = 1, 2, 4, 8
# Context flags (the low five bits), and what follows them.
X_PLAYING, X_TEMPO, X_BEATS, X_BAR, X_TSIG, X_REAL_TEMPO, X_RATE, X_RAW = 1, 2, 4, 8, 16, 32, 64, \
    128
PROGRAM = 0x80  # a parameter id byte for the program-change parameter
# Audio: channels in (0 to 2), channels out (0 to 2, times 4), no input, no output, in place.
A_STEREO, A_NO_IN, A_NO_OUT, A_IN_PLACE = 2 | 8, 16, 32, 64


def v_step(op, second=False):
    return step(op, second)


def v_value(v):
    if 0 <= v <= 1 and abs(round(v * 127) / 127 - v) < 1e-12:
        return bytes([round(v * 127)])
    return bytes([0xFF]) + struct.pack("<d", v)


def v_setup(most=512, rate=44, size=0, mode=0, second=False):
    out = v_step(V_SETUP, second) + bytes([mode, size]) + struct.pack("<h", most)
    return out + (bytes([rate]) if isinstance(rate, int) else bytes([0x80]) + real(rate))


def v_ready(most=512, second=False):
    return (v_setup(most, second=second) + v_step(V_ACTIVE, second) + bytes([1]) +
            v_step(V_PROCESSING, second) + bytes([1]))


def v_context(flags=X_PLAYING | X_TEMPO | X_BEATS | X_BAR | X_TSIG, bpm=120, beats=8.0,
              raw_state=None, rate=None, samples=None, num=4, den=4):
    out = bytes([flags])
    if flags & X_RAW:
        out += struct.pack("<I", raw_state)
    if flags & X_RATE:
        out += real(rate)
    out += real(bpm) if flags & X_REAL_TEMPO else bytes([bpm])
    out += real(beats + 8.0) + bytes([0])
    out += bytes([0xFF]) + struct.pack("<q", samples) if samples is not None else bytes([0])
    return out + number(num) + number(den)


def v_id(pid):
    # An id byte: the record's parameter, the program's, or (from 0xC0) any number.
    return bytes([pid]) if 0 <= pid < 23 or pid == PROGRAM else bytes([0xC0]) + number(pid)


def v_change(pid, points):
    body = b"".join(v_value(v) + number(offset) for v, offset in points)
    return v_id(pid) + bytes([len(points) - 1]) + body


def v_note(on, pitch, offset=0, channel=0, velocity=100 / 127, bus=None):
    kind = (0 if on else 1) | (8 if bus is not None else 0) | \
        (channel << 5 if 0 <= channel < 8 else 16)
    out = bytes([kind]) + (number(bus) if bus is not None else b"") + number(offset)
    out += number(channel) if kind & 16 else b""
    return out + number(pitch) + value(velocity)


def v_other(type_, offset=0):
    return bytes([4]) + number(type_) + number(offset) + number(0) + value(0.5)


def v_block(frames=512, context=None, changes=(), notes=None, audio=A_STEREO, flags=0, seed=7,
            second=False):
    how = flags | (B_CONTEXT if context is not None else 0) | (B_NO_EVENTS if notes is None else 0)
    out = v_step(V_PROCESS, second) + struct.pack("<H", frames) + bytes([how])
    out += context if context is not None else b""
    out += bytes([len(changes)]) + b"".join(changes) + bytes([audio, seed])
    if notes is not None:
        out += struct.pack("<H", len(notes)) + b"".join(notes)
    return out


def v_params(what, pid=0, v=0.5, extra=b"", second=False):
    return v_step(V_PARAMS, second) + bytes([what]) + v_id(pid) + v_value(v) + extra


def v_text(content):
    return bytes([len(content)]) + content


def v_state(what, extra=b"", second=False):
    return v_step(V_STATE, second) + bytes([what]) + extra


def v_buses(what, media=0, direction=0, index=0, extra=b""):
    return v_step(V_BUSES) + bytes([what, media, direction]) + number(index) + extra


PLAY_120 = v_context()
vst3_seeds = {
    "vst3-running": v_ready() +
    v_block(512, PLAY_120, [v_change(16, [(0.16, 0)]), v_change(22, [(0.0, 0)])]) +
    b"".join(v_block(512, PLAY_120) for _ in range(6)) +
    v_block(512, PLAY_120, [v_change(17, [(0.5, 3)]), v_change(18, [(0.25, 0), (0.75, 9)]),
                            v_change(19, [(1.0, 0)])]) +
    v_block(300) + v_block(0, changes=[v_change(20, [(0.04, 0)])]) + v_block(1) +
    v_block(512, PLAY_120, flags=B_NO_OUT_EVENTS) + v_block(512, PLAY_120, flags=B_NO_OUT_CHANGES),
    "vst3-notes": v_ready() + v_block(512, PLAY_120, [v_change(22, [(1.0, 0)])]) +
    v_block(512, PLAY_120, notes=[v_note(True, 12, 5)]) +
    v_block(512, PLAY_120, notes=[v_note(True, 13, 100, channel=9), v_note(False, 12, 3),
                                  v_note(True, 14, 7, velocity=0.0), v_note(True, 12, 9, bus=1),
                                  v_note(True, 200, 1), v_note(True, -1, 1), v_other(2, 4),
                                  v_other(65535, 8)]) +
    v_block(512, notes=[v_note(True, 12, 400 - i) for i in range(300)]) +
    v_block(512, notes=[v_note(True, 13, -(2**31) + 5), v_note(False, 12, 2**31 - 1),
                        v_note(True, 12, 0, velocity=float("nan"))]) +
    v_block(512, notes=[v_note(True, 60 + i % 3, i, velocity=1 / 127) for i in range(1100)]) +
    v_block(512) + v_block(0, notes=[v_note(True, 12, 0)]) + v_block(512),
    "vst3-context": v_ready(4096) + v_block(1, PLAY_120, [v_change(21, [(1.0, 0)])]) +
    v_block(4096, PLAY_120) +
    v_block(4096, v_context(bpm=90, beats=3.5)) +
    v_block(2048, v_context(X_TEMPO | X_BEATS | X_REAL_TEMPO, float("nan"), float("inf"))) +
    v_block(1024, v_context(X_BEATS | X_PLAYING, 0, -4.0, samples=-(2**62))) +
    v_block(1024, v_context(X_RAW | X_REAL_TEMPO | X_RATE, 1e300, 9.3e18, raw_state=0xFFFFFFFF,
                            rate=-1.0, num=0, den=-1)) +
    v_block(4096, v_context(X_TEMPO | X_BEATS | X_TSIG | X_PLAYING, 250, 1e9, num=2**31 - 1,
                            den=7)) + v_block(4096) +
    v_block(512, PLAY_120, [v_change(22, [(1.0, 0)])], [v_note(True, 12, 10)]),
    "vst3-programs": v_ready() + v_block(512, PLAY_120, [v_change(PROGRAM, [(0.5, 0)])]) +
    v_block(512, PLAY_120, [v_change(3, [(0.9, 0)]), v_change(PROGRAM, [(1.0, 0), (0.2, 5)]),
                            v_change(4, [(0.1, 0)])]) +
    v_block(512, PLAY_120, [v_change(PROGRAM, [(0.2, 0)])]) +
    v_block(0, changes=[v_change(PROGRAM, [(float("nan"), 0), (0.0, 0)])]) +
    v_block(512, PLAY_120, [v_change(PROGRAM, [(-3.0, 0)]), v_change(99, [(0.5, 0)])],
            flags=B_NO_OUT_CHANGES) +
    v_params(0, PROGRAM, 0.75) + v_params(0, PROGRAM, 0.75) + v_params(0, 5, 0.3) +
    v_params(0, 6, 2.0) + v_params(0, 7, float("nan")) + v_params(0, -1, 0.5) +
    v_params(1, PROGRAM, 0.4) + v_params(1, 2, 0.25) + v_params(1, 2, float("inf")) +
    v_params(2, PROGRAM, extra=v_text(b"Preset 3")) + v_params(2, 1, extra=v_text(b"0.5")) +
    v_params(2, 1, extra=v_text(b"1e9")) + v_params(2, 1, extra=bytes([3, 0xF0, 0, 0x31])) +
    b"".join(v_params(3, i) for i in (0, 16, 22, PROGRAM)) + v_params(3, 24) +
    v_params(4, PROGRAM, 1.0) + v_params(4, PROGRAM, float("-inf")) + v_params(4, 9, 0.3) +
    v_block(512, PLAY_120),
    "vst3-state": v_params(0, 3, 0.3) + v_state(0) + v_state(0 | 8, bytes([5])) + v_state(3) +
    v_state(3 | 8, bytes([7])) +
    v_state(1, struct.pack("<H", 12) + b"OSTR" + bytes([1, 0, 0, 0, 16, 0, 0, 0])) +
    v_state(2, bytes([1]) + struct.pack("<H", 4) + bytes([2])) +
    v_state(2, bytes([1]) + struct.pack("<H", 2000) + bytes([0x40])) +
    v_state(2 | 64, bytes([0]) + struct.pack("<H", 1000)) +
    v_state(2 | 8, bytes([3, 0])) + v_state(1, struct.pack("<H", 0)) +
    v_step(V_CREATE, True) + bytes([0]) + v_state(0, second=True) + v_state(3 | 32) +
    v_state(2 | 32, bytes([0])) + v_ready() + v_block(512, PLAY_120) + v_state(3) +
    v_block(512, PLAY_120),
    "vst3-life-cycle": v_step(V_CREATE) + bytes([1]) + number(5) + v_step(V_CREATE) + bytes([2]) +
    v_block(64) + v_setup(512, size=1) + v_setup(0) + v_setup(-5) + v_setup(512, 0) +
    v_setup(512, float("nan")) + v_setup(4096, float("inf")) + v_setup(512, mode=2) +
    v_block(512) + v_step(V_ACTIVE) + bytes([1]) + v_block(512, PLAY_120) +
    v_step(V_PROCESSING) + bytes([1]) + v_block(512, PLAY_120, [v_change(22, [(0.0, 0)])]) +
    v_step(V_PROCESSING) + bytes([0]) + v_block(512, PLAY_120) + v_step(V_ACTIVE) + bytes([0]) +
    v_block(512) + v_setup(1) + v_step(V_ACTIVE) + bytes([1]) + v_block(1, PLAY_120) +
    v_step(V_TERMINATE) + v_block(64) + v_step(V_TERMINATE) + v_block(64) + v_ready(128) +
    v_block(128, PLAY_120) + v_step(V_CREATE, True) + bytes([0]) + v_ready(256, second=True) +
    v_block(256, PLAY_120, [v_change(22, [(1.0, 0)])], second=True) + v_block(128) +
    v_step(V_TERMINATE, True) + v_block(128) + v_step(V_CREATE) + bytes([0]) + v_block(64),
    "vst3-buses": v_ready(1000) + b"".join(
        v_block(1000, PLAY_120, audio=a) for a in (0x00, A_STEREO, 1 | 4, 2 | 4, 1 | 8,
                                                  A_STEREO | A_NO_IN, A_STEREO | A_NO_OUT,
                                                  A_STEREO | A_IN_PLACE, 1 | 8 | A_IN_PLACE)) +
    v_buses(0, extra=bytes([1, 0, 0, 1, 0, 0])) + v_buses(0, extra=bytes([1, 0xFF]) +
                                                          struct.pack("<Q", 1) + bytes([0, 1, 0, 0])) +
    v_buses(8, extra=bytes([1, 0, 0, 1, 0, 0])) + v_buses(0, extra=bytes([2, 0, 0, 2, 0, 0])) +
    b"".join(v_buses(w, m, d, i) for w in (1, 2, 9) for m in (0, 1, 2) for d in (0, 1, 2)
             for i in (0, 1)) +
    v_buses(1, 0, 0, -1) + v_buses(3, 0, 1, 0, number(0)) + v_buses(3, 0, 2, 0, number(1)) +
    v_buses(3, 1, 0, 1, number(-1)) + v_block(1000, PLAY_120),
}

if __name__ == "__main__":
    here = os.path.dirname(os.path.abspath(__file__))
    for folder, found in (("corpus", seeds), ("corpus-clap", clap_seeds),
                          ("corpus-lv2", lv2_seeds), ("corpus-vst3", vst3_seeds)):
        os.makedirs(os.path.join(here, folder), exist_ok=True)
        for name, data in found.items():
            with open(os.path.join(here, folder, name), "wb") as f:
                f.write(data)
