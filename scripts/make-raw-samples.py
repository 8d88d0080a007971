#!/usr/bin/env python3
"""Writes small camera raw samples (CR2, ORF, RW2, RAF): each vendor's header
around a real TIFF structure (or, for RAF, the Fuji directory) that carries a
JPEG preview, as the cameras write them. Used by make-samples.sh."""
import struct
import sys

jpeg_path, out = sys.argv[1], sys.argv[2]
jpeg = open(jpeg_path, 'rb').read()
# Previews inside raw files start straight with the quantisation table.
pos = 2
while jpeg[pos] == 0xff and 0xe0 <= jpeg[pos + 1] <= 0xef:
    pos += 2 + int.from_bytes(jpeg[pos + 2:pos + 4], 'big')
preview = jpeg[:2] + jpeg[pos:]


def tiff_ifd(ifd_offset, make, model, data_offset):
    """One little-endian IFD at ifd_offset; returns its bytes and the data behind it."""
    strings = make.encode() + b'\0' + model.encode() + b'\0'
    count = 7
    after = ifd_offset + 2 + count * 12 + 4
    make_off, model_off = after, after + len(make) + 1
    jpeg_off = after + len(strings)
    entries = [
        (0x0100, 3, 1, 64), (0x0101, 3, 1, 48), (0x0103, 3, 1, 6),
        (0x010F, 2, len(make) + 1, make_off), (0x0110, 2, len(model) + 1, model_off),
        (0x0111, 4, 1, jpeg_off), (0x0117, 4, 1, len(preview)),
    ]
    body = struct.pack('<H', count)
    for tag, kind, n, value in entries:
        body += struct.pack('<HHII', tag, kind, n, value) if kind != 3 else struct.pack('<HHIHH', tag, kind, n, value, 0)
    body += struct.pack('<I', 0)
    return body + strings + preview


cr2 = b'II*\0' + struct.pack('<I', 16) + b'CR\x02\x00' + struct.pack('<I', 0)
open(f'{out}/sample.cr2', 'wb').write(cr2 + tiff_ifd(16, 'Canon', 'Canon EOS 5D Mark III', 0))

orf = b'IIRO' + struct.pack('<I', 8)
open(f'{out}/sample.orf', 'wb').write(orf + tiff_ifd(8, 'OLYMPUS IMAGING CORP.', 'E-M10', 0))

rw2 = b'IIU\0' + struct.pack('<I', 0x18) + bytes.fromhex('88E774D8F8251D4D947A6E77822B5D6A')
open(f'{out}/sample.rw2', 'wb').write(rw2 + tiff_ifd(0x18, 'Panasonic', 'DMC-GX7', 0))

# Fuji: magic, format version, camera id, camera name, directory version, then
# big-endian offsets and lengths of the JPEG preview and the CFA data.
exif_jpeg = open(jpeg_path.replace('sample.jpg', 'sample.exif.jpg'), 'rb').read()
head = b'FUJIFILMCCD-RAW ' + b'0201' + b'FF383501' + b'X-T1'.ljust(32, b'\0') + b'0100' + bytes(20)
jpeg_off = len(head) + 24
cfa = bytes(range(256)) * 4
raf = head + struct.pack('>6I', jpeg_off, len(exif_jpeg), 0, 0, jpeg_off + len(exif_jpeg), len(cfa))
open(f'{out}/sample.raf', 'wb').write(raf + exif_jpeg + cfa)
