#!/usr/bin/env python3
"""Writes small hand-built x86-64 dylibs as seeds of the Mach-O loader target.

A linked module is over 100 KB, most of it code and padding the loader never looks at, so the
fuzzer's mutations rarely land in a load command or a fixup stream. These files are a few hundred
bytes: a header, the load commands, a little code and data, and the fixup and export streams, which
is nearly all of what the loader reads. Most are accepted; the "refused" ones differ from an
accepted one in one place that the loader must refuse, so that a check gone missing lets the
fuzzer reach a broken image at once. Segments are small and leave unmapped pages between them,
so a fixup that strays past its segment lands in a gap or in a read-only segment, where the target
sees it. Together the accepted ones use every rebase and bind opcode the
loader applies, both kinds of initialiser section, a read-only-after-fixups segment, zero-filled
tails and regular and absolute exports. Every segment may become anything (maximum protection
read, write and execute), as in files of older linkers, so one changed byte is enough to ask for
a writable and executable segment.

usage: make_macho_seeds.py OUTPUT-DIR
"""
import struct
import sys
from pathlib import Path

PAGE = 0x1000
CODE = 0x300  # past the header and load commands
LIB_SYSTEM = b"/usr/lib/libSystem.B.dylib"
LIB_CXX = b"/usr/lib/libc++.1.dylib"


def uleb(value):
    out = bytearray()
    while True:
        byte = value & 0x7F
        value >>= 7
        out.append(byte | (0x80 if value else 0))
        if not value:
            return bytes(out)


def sleb(value):
    out = bytearray()
    while True:
        byte = value & 0x7F
        value >>= 7
        done = (value == 0 and not byte & 0x40) or (value == -1 and byte & 0x40)
        out.append(byte | (0 if done else 0x80))
        if done:
            return bytes(out)


def name16(text):
    return text.encode().ljust(16, b"\0")


def pad8(data):
    return data + b"\0" * (-len(data) % 8)


class Segment:
    def __init__(self, name, address, memory_size, protection, content=b"", flags=0, sections=()):
        self.name, self.address, self.memory_size = name, address, memory_size
        self.protection, self.content, self.flags = protection, content, flags
        self.sections = list(sections)  # (name, address, size, type)
        self.file_offset = 0


def trie(exports):
    """An export trie of one root with one child per symbol: (name, flags, value)."""
    # Children follow the root; their offsets depend on the root's size, which depends on them.
    for root_size in range(8, 4096):
        root = bytearray([0, len(exports)])
        nodes = bytearray()
        for name, flags, value in exports:
            root += name.encode() + b"\0" + uleb(root_size + len(nodes))
            terminal = uleb(flags) + uleb(value)
            nodes += uleb(len(terminal)) + terminal + b"\0"
        if len(root) == root_size:
            return bytes(root + nodes)
    raise ValueError("trie too large")


def dylib(segments, rebase, bind, lazy, weak, exports, libraries=(LIB_SYSTEM,)):
    """Lays out header, load commands, segment contents and the link-edit streams.

    The first segment maps the header and load commands at file offset 0; the last is the
    link-edit segment holding the streams."""
    streams = [rebase, bind, weak, lazy, exports]

    def commands(layout):
        out = []
        for s in segments:
            body = name16(s.name) + struct.pack(
                "<QQQQIIII", s.address, s.memory_size, s.file_offset, len(s.content),
                7, s.protection, len(s.sections), s.flags)
            for name, address, size, kind in s.sections:
                body += name16(name) + name16(s.name) + struct.pack(
                    "<QQIIIIIIII", address, size, 0, 3, 0, 0, kind, 0, 0, 0)
            out.append(struct.pack("<II", 0x19, 8 + len(body)) + body)
        words = []
        for offset, data in zip(layout, streams):
            words += [offset if data else 0, len(data)]
        out.append(struct.pack("<II10I", 0x80000022, 48, *words))
        for command, library in [(0xD, b"tiny.xlib")] + [(0xC, l) for l in libraries]:
            name = pad8(library + b"\0")
            out.append(struct.pack("<IIIIII", command, 24 + len(name), 24, 2, 0x10000, 0x10000) + name)
        return out

    # Two passes: the first fixes the size of the load commands, the second their offsets.
    layout = [0] * len(streams)
    for _ in range(2):
        load = b"".join(commands(layout))
        head = struct.pack("<IIIIIIII", 0xFEEDFACF, 0x01000007, 3, 6, len(commands(layout)), len(load), 0, 0)
        text = segments[0]
        offset = len(text.content)
        for s in segments[1:-1]:
            s.file_offset = offset
            offset += len(s.content)
        linkedit = segments[-1]
        linkedit.file_offset = offset
        layout, at = [], offset
        for data in streams:
            layout.append(at)
            at += len(data)
        linkedit.content = b"".join(streams)
    image = bytearray(text.content)
    assert len(head) + len(load) <= CODE, "the load commands run into the code"
    image[:len(head) + len(load)] = head + load
    for s in segments[1:]:
        image += s.content
    return bytes(image)


def text_segment(init_offsets=None):
    # Code: a few return instructions; nothing of it runs.
    content = bytearray(CODE + 0x40)
    content[CODE:CODE + 0x10] = b"\xc3" * 16
    sections = [("__text", CODE, 0x10, 0x80000400)]
    if init_offsets is not None:
        table = b"".join(struct.pack("<I", o) for o in init_offsets)
        content[CODE + 0x20:CODE + 0x20 + len(table)] = table
        sections.append(("__init_offsets", CODE + 0x20, len(table), 0x16))
    return Segment("__TEXT", 0, CODE + 0x100, 5, bytes(content), sections=sections)


def pointers(*values):
    return b"".join(struct.pack("<Q", v) for v in values)


def basic(text_protection=5, first_rebase=0, main_at=CODE, initializer=CODE):
    """Rebases, binds, lazy and weak binds, a constructor pointer, a read-only data segment.

    The arguments make files the loader refuses, each for one cause and one change away from
    this accepted one."""
    data = Segment("__DATA", 2 * PAGE, 0x40, 3, pointers(initializer, 0, 0, CODE + 0x10),
                   sections=[("__mod_init_func", 2 * PAGE, 8, 0x9), ("__data", 2 * PAGE + 8, 0x38, 0)])
    const = Segment("__DATA_CONST", 4 * PAGE, 0x18, 3, pointers(2 * PAGE + 8, 0), flags=0x10)
    linkedit = Segment("__LINKEDIT", 6 * PAGE, 0x400, 1)
    rebase = bytes([0x11, 0x21]) + uleb(first_rebase) + bytes([0x51, 0x21]) + uleb(0x18) + bytes([0x51, 0x22]) + uleb(0) + \
        bytes([0x51, 0x00])
    bind = bytes([0x11, 0x40]) + b"_free\0" + bytes([0x51, 0x71]) + uleb(8) + bytes([0x90, 0x72]) + uleb(8) + \
        bytes([0x90, 0x00])
    lazy = bytes([0x71]) + uleb(0x10) + bytes([0x11, 0x40]) + b"_malloc\0" + bytes([0x90, 0x00])
    weak = bytes([0x40]) + b"__ZdlPv\0" + bytes([0x51, 0x71]) + uleb(0x20) + bytes([0x90, 0x00])
    exports = trie([("_c4d_main", 0, main_at), ("_g_maxon", 0, 2 * PAGE + 0x28), ("_g_CpuYieldDelegate", 2, 0x1234)])
    text = text_segment()
    text.protection = text_protection
    return dylib([text, data, const, linkedit], rebase, bind, lazy, weak, exports)


def every_opcode():
    """Every rebase and bind opcode the loader applies, over a 64-byte data segment."""
    data = Segment("__DATA", 2 * PAGE, 0x80, 3, pointers(*([CODE] * 8)),
                   sections=[("__mod_init_func", 2 * PAGE, 0x10, 0x9), ("__mod_term_func", 2 * PAGE + 0x10, 8, 0xA)])
    linkedit = Segment("__LINKEDIT", 4 * PAGE, 0x400, 1)
    rebase = bytes([0x11, 0x21]) + uleb(0) + bytes([0x52]) + \
        bytes([0x61]) + uleb(1) + \
        bytes([0x70]) + uleb(0) + \
        bytes([0x30]) + uleb(0) + bytes([0x40]) + \
        bytes([0x80]) + uleb(2) + uleb(8) + bytes([0x00])
    bind = bytes([0x20]) + uleb(2) + bytes([0x40]) + b"__ZSt9terminatev\0" + bytes([0x50 | 1]) + \
        bytes([0x60]) + sleb(-8) + bytes([0x71]) + uleb(0x40) + bytes([0xA0]) + uleb(0) + \
        bytes([0x11, 0x41]) + b"_strlen\0" + bytes([0x60]) + sleb(16) + bytes([0xB0]) + \
        bytes([0x80]) + uleb(0) + bytes([0xC0]) + uleb(2) + uleb(0) + \
        bytes([0x30, 0x40]) + b"_c4d_main\0" + bytes([0x60]) + sleb(0) + bytes([0x90]) + \
        bytes([0x3F, 0x41]) + b"_missing_weak\0" + bytes([0x71]) + uleb(0x78) + bytes([0x90, 0x00])
    lazy = bytes([0x71]) + uleb(0x68) + bytes([0x11, 0x40]) + b"_memcpy\0" + bytes([0x90, 0x00]) + \
        bytes([0x71]) + uleb(0x70) + bytes([0x11, 0x40]) + b"_memset\0" + bytes([0x90, 0x00])
    exports = trie([("_c4d_main", 0, CODE), ("_g_maxon", 0, 2 * PAGE + 0x38)])
    return dylib([text_segment(), data, linkedit], rebase, bind, lazy, b"", exports, (LIB_SYSTEM, LIB_CXX))


def init_offsets():
    """Initialisers given as 32-bit offsets in the text segment; no writable segment at all."""
    linkedit = Segment("__LINKEDIT", 2 * PAGE, 0x400, 1)
    exports = trie([("_c4d_main", 0, CODE)])
    return dylib([text_segment(init_offsets=[CODE, CODE + 8]), linkedit], b"", b"", b"", b"", exports, ())


def zero_fill():
    """A data segment larger than its file bytes, one page of it zero-filled, fixed past its file part."""
    data = Segment("__DATA", 2 * PAGE, 0x1800, 3, pointers(CODE, CODE + 8),
                   sections=[("__data", 2 * PAGE, 0x10, 0), ("__bss", 2 * PAGE + 0x10, 0x17F0, 0x1)])
    linkedit = Segment("__LINKEDIT", 5 * PAGE, 0x400, 1)
    rebase = bytes([0x11, 0x21]) + uleb(0) + bytes([0x52, 0x21]) + uleb(0x17F8) + bytes([0x51, 0x00])
    bind = bytes([0x11, 0x40]) + b"___stdoutp\0" + bytes([0x71]) + uleb(0x1000) + bytes([0x90, 0x00])
    exports = trie([("_c4d_main", 0, CODE), ("_g_maxon", 0, 2 * PAGE + 0x1000)])
    return dylib([text_segment(), data, linkedit], rebase, bind, b"", b"", exports)


SEEDS = {
    "tiny_basic.xlib": basic,
    "tiny_every_opcode.xlib": every_opcode,
    "tiny_init_offsets.xlib": init_offsets,
    "tiny_zero_fill.xlib": zero_fill,
    "tiny_refused_writable_code.xlib": lambda: basic(text_protection=7),
    "tiny_refused_rebase_past_segment.xlib": lambda: basic(first_rebase=0x40),
    "tiny_refused_export_in_gap.xlib": lambda: basic(main_at=PAGE + 0x10),
    "tiny_refused_initializer_in_data.xlib": lambda: basic(initializer=2 * PAGE),
}

if __name__ == "__main__":
    out = Path(sys.argv[1])
    for name, build in SEEDS.items():
        (out / name).write_bytes(build())
