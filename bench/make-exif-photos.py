#!/usr/bin/env python3
"""Turns base_N.jpg and thumb_N.jpg in FOLDER into camera-like photos IMG_NNNN.JPG:
an Exif APP1 segment (make, model, date, and the thumbnail as a JPEG in IFD1) in
place of the JFIF header, as cameras write them. Used by compare-carving.sh."""
import os
import struct
import sys

folder, count = sys.argv[1], int(sys.argv[2])


def entry(tag, kind, n, value):
    return struct.pack('<HHII', tag, kind, n, value)


def exif(thumbnail, index):
    make, model, date = b'Pelmora\0', f'CardCam {index}\0'.encode(), b'2024:05:01 10:00:00\0'
    ifd0_size, ifd1_size = 2 + 3 * 12 + 4, 2 + 3 * 12 + 4
    data_at = 8 + ifd0_size + ifd1_size
    make_at, model_at = data_at, data_at + len(make)
    date_at = model_at + len(model)
    thumb_at = date_at + len(date)
    tiff = b'II*\0' + struct.pack('<I', 8)
    tiff += struct.pack('<H', 3) + entry(0x010F, 2, len(make), make_at) + entry(0x0110, 2, len(model), model_at)
    tiff += entry(0x0132, 2, len(date), date_at) + struct.pack('<I', 8 + ifd0_size)
    tiff += struct.pack('<H', 3) + entry(0x0103, 3, 1, 6) + entry(0x0201, 4, 1, thumb_at)
    tiff += entry(0x0202, 4, 1, len(thumbnail)) + struct.pack('<I', 0)
    tiff += make + model + date + thumbnail
    return b'Exif\0\0' + tiff


for i in range(1, count + 1):
    photo = open(os.path.join(folder, f'base_{i}.jpg'), 'rb').read()
    thumb = open(os.path.join(folder, f'thumb_{i}.jpg'), 'rb').read()
    pos = 2
    while photo[pos] == 0xFF and 0xE0 <= photo[pos + 1] <= 0xEF:  # drop JFIF and other APPn
        pos += 2 + int.from_bytes(photo[pos + 2:pos + 4], 'big')
    app1 = exif(thumb, i)
    segment = b'\xff\xe1' + struct.pack('>H', len(app1) + 2) + app1
    open(os.path.join(folder, f'IMG_{i:04d}.JPG'), 'wb').write(photo[:2] + segment + photo[pos:])
