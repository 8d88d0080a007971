#!/usr/bin/env python3
"""Writes the samples no installed tool produces: a MIDI tune, an AMR file of
no-data frames and a placeable Windows metafile. Used by make-samples.sh."""
import struct
import sys

out = sys.argv[1]

# MIDI format 0: one track, a few notes.
events = b''
for note in (60, 64, 67, 72):
    events += b'\x00\x90' + bytes([note, 0x60]) + b'\x60\x80' + bytes([note, 0x40])
events += b'\x00\xff\x2f\x00'
midi = b'MThd' + struct.pack('>IHHH', 6, 0, 1, 96) + b'MTrk' + struct.pack('>I', len(events)) + events
open(f'{out}/sample.mid', 'wb').write(midi)

# AMR narrow band: the magic line, then frames of type 15 (no data), one byte each.
open(f'{out}/sample.amr', 'wb').write(b'#!AMR\n' + b'\x7c' * 50)


def record(function, *params):
    words = 3 + len(params)
    return struct.pack('<IH', words, function) + b''.join(struct.pack('<h', p) for p in params)


body = b''.join([
    record(0x020B, 0, 0),             # SetWindowOrg(y, x)
    record(0x020C, 48, 64),           # SetWindowExt(y, x)
    record(0x02FC, 0, 0x00FF, 0x0000, 0),  # CreateBrushIndirect: solid, colour 0x000000FF (red)
    record(0x012D, 0),                # SelectObject(0)
    record(0x041B, 40, 56, 8, 8),     # Rectangle(bottom, right, top, left)
    record(0x0000),                   # end of file: size 3, function 0
])
header_words = 9
size_words = header_words + len(body) // 2
max_record = max(3, 7)
meta = struct.pack('<HHHIHIH', 1, header_words, 0x0300, size_words, 1, max_record, 0)
placeable = struct.pack('<IHhhhhHI', 0x9AC6CDD7, 0, 0, 0, 64, 48, 96, 0)
checksum = 0
for (word,) in struct.iter_unpack('<H', placeable[:20]):
    checksum ^= word
open(f'{out}/sample.wmf', 'wb').write(placeable + struct.pack('<H', checksum) + meta + body)
