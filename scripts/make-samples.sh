#!/usr/bin/env bash
# Makes the small sample files the Low Level Scan tests carve: one real file per
# catalogue type (tests/data/samples/sample.<ext>, plus sample.mm.tif for the
# big-endian TIFF marker and sample.<variant>.<ext> for other forms of a format's
# structure). Run once by hand; the results are committed so that CI needs none
# of these tools. Tools: ImageMagick 6 (convert), sox, flac, ffmpeg, zip,
# gzip/bzip2/xz, 7z (p7zip-full), sqlite3, gsf (libgsf-bin), gcab, c44
# (djvulibre-bin), and python3 for the files written byte by byte.
set -euo pipefail

here="$(cd "$(dirname "$0")/.." && pwd)"
out="$here/tests/data/samples"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"
cd "$work"
export SOURCE_DATE_EPOCH=1700000000

# A small colourful picture every image format starts from.
convert -size 40x30 -seed 42 plasma:red-blue base.ppm
convert base.ppm -colors 32 base.png

# --- Pictures ------------------------------------------------------------------
convert base.ppm -quality 80 "$out/sample.jpg"                      # JFIF APP0
# Camera-like JPEG: Exif APP1 (with a TIFF header inside) instead of JFIF.
convert base.ppm -quality 80 -strip cam.jpg
exiftool -q -overwrite_original -Make=Pelmora -Model="Card Cam 1" -DateTimeOriginal="2024:05:01 10:00:00" cam.jpg
python3 - cam.jpg "$out/sample.exif.jpg" <<'PY'
import sys
data = open(sys.argv[1], 'rb').read()
# Drop the JFIF APP0 segment so the file starts FF D8 FF E1 like a camera's.
if data[2:4] == b'\xff\xe0':
    n = int.from_bytes(data[4:6], 'big')
    data = data[:2] + data[4 + n:]
open(sys.argv[2], 'wb').write(data)
PY
# A JPEG without any APP segment: starts FF D8 FF DB.
python3 - "$out/sample.jpg" "$out/sample.jpeg" <<'PY'
import sys
data = open(sys.argv[1], 'rb').read()
pos = 2
while data[pos] == 0xff and 0xe0 <= data[pos + 1] <= 0xef:
    pos += 2 + int.from_bytes(data[pos + 2:pos + 4], 'big')
open(sys.argv[2], 'wb').write(data[:2] + data[pos:])
PY
convert base.png "$out/sample.png"
convert base.ppm -colors 64 "$out/sample.gif"
convert base.ppm -type TrueColor BMP3:"$out/sample.bmp"
convert base.ppm -compress none "$out/sample.tif"
convert base.ppm -compress none -define tiff:endian=msb "$out/sample.mm.tif"
convert base.ppm "$out/sample.psd"
convert base.png -resize 32x32 "$out/sample.ico"
convert base.png -quality 70 "$out/sample.webp"
convert base.png "$out/sample.heic"
convert base.png "$out/sample.jp2"
convert base.ppm "$out/sample.pcx"
convert base.png -define dds:compression=none "$out/sample.dds"
# 256 colours with the VGA palette behind the picture; run-length coded lines with
# their count table; block-compressed levels of a mipmap chain.
convert base.ppm -colors 16 -type Palette "$out/sample.palette.pcx"
convert base.ppm -resize 20x15 -compress RLE "$out/sample.rle.psd"
convert base.png -resize '64x32!' -define dds:compression=dxt1 -define dds:mipmaps=3 "$out/sample.dxt1.dds"
# Camera raw files: the vendors' headers around a real TIFF structure with a JPEG preview.
python3 "$here/scripts/make-raw-samples.py" "$out/sample.jpg" "$out"

# --- Sound and video -----------------------------------------------------------
sox -n -r 8000 -c 1 tone.wav synth 0.25 sine 440
ffmpeg -loglevel error -y -i tone.wav -c:a libmp3lame -b:a 32k "$out/sample.mp3"
cp tone.wav "$out/sample.wav"
sox tone.wav "$out/sample.aif"
sox tone.wav "$out/sample.au"
sox tone.wav "$out/sample.voc"
sox tone.wav "$out/sample.flac"
# 8-bit sound in the old-format sound block.
sox tone.wav -b 8 -e unsigned "$out/sample.8bit.voc"
# Four frames of stereo, some coded as left and side.
sox -n -r 8000 -c 2 -b 16 stereo.wav synth 0.25 sine 440 sine 660
flac -s -f --no-padding --blocksize=576 -o "$out/sample.stereo.flac" stereo.wav
ffmpeg -loglevel error -y -i tone.wav -c:a libvorbis "$out/sample.ogg"
ffmpeg -loglevel error -y -i tone.wav -ar 48000 -c:a libopus -b:a 16k "$out/sample.opus"
ffmpeg -loglevel error -y -i tone.wav -c:a aac -b:a 24k "$out/sample.m4a"
ffmpeg -loglevel error -y -i tone.wav -c:a mp2 -f asf "$out/sample.wma"
video=(-f lavfi -i testsrc=size=32x24:rate=5:duration=0.4)
ffmpeg -loglevel error -y "${video[@]}" -c:v mjpeg -q:v 10 "$out/sample.avi"
ffmpeg -loglevel error -y "${video[@]}" -c:v mpeg4 -q:v 20 -brand isom "$out/sample.mp4"
ffmpeg -loglevel error -y "${video[@]}" -c:v mpeg4 -q:v 20 "$out/sample.mov"
ffmpeg -loglevel error -y "${video[@]}" -c:v mpeg4 -q:v 20 -f 3gp "$out/sample.3gp"
ffmpeg -loglevel error -y "${video[@]}" -c:v mpeg4 -q:v 20 "$out/sample.mkv"
ffmpeg -loglevel error -y "${video[@]}" -c:v libvpx -b:v 20k "$out/sample.webm" 2>/dev/null ||
  ffmpeg -loglevel error -y "${video[@]}" -c:v libvpx-vp9 -b:v 20k "$out/sample.webm"
ffmpeg -loglevel error -y "${video[@]}" -c:v flv "$out/sample.flv"
ffmpeg -loglevel error -y "${video[@]}" -c:v wmv2 -q:v 20 "$out/sample.wmv"
ffmpeg -loglevel error -y "${video[@]}" -c:v mpeg2video -q:v 20 -f vob "$out/sample.mpg"
ffmpeg -loglevel error -y "${video[@]}" -c:v flv -f swf "$out/sample.swf"
python3 "$here/scripts/make-byte-samples.py" "$out"

# --- Documents and archives ----------------------------------------------------
python3 "$here/scripts/make-document-samples.py" "$work/docs"
(cd docs/pdf && cp sample.pdf "$out/sample.pdf")
for kind in docx xlsx pptx; do
  # [Content_Types].xml first, as Office writes it; -nw: the brackets are no wildcard.
  (cd "docs/$kind" && rm -f "../$kind.zip" && zip -q -X -D -nw "../$kind.zip" '[Content_Types].xml' &&
    zip -q -X -D -nw -r "../$kind.zip" . -x '[Content_Types].xml')
  cp "docs/$kind.zip" "$out/sample.$kind"
done
for kind in odt ods epub; do
  (cd "docs/$kind" && rm -f "../$kind.zip" && zip -q -X -0 "../$kind.zip" mimetype && zip -q -X -D -r "../$kind.zip" . -x mimetype)
  cp "docs/$kind.zip" "$out/sample.$kind"
done
(cd docs/jar && rm -f ../jar.zip && zip -q -X -D -r ../jar.zip META-INF/MANIFEST.MF && zip -q -X -D -r ../jar.zip . -x 'META-INF/*')
cp docs/jar.zip "$out/sample.jar"
(cd docs && zip -q -X readme.zip readme.txt && cp readme.zip "$out/sample.zip")
for kind in doc xls ppt; do
  (cd "docs/$kind" && rm -f "../$kind.ole" && gsf createole "../$kind.ole" *) ; cp "docs/$kind.ole" "$out/sample.$kind"
done
cp docs/sample.ps docs/sample.rtf docs/sample.html docs/sample.xml docs/sample.vcf docs/sample.ics "$out/"
gzip -9 -n -c docs/readme.txt > "$out/sample.gz"
bzip2 -9 -c docs/readme.txt > "$out/sample.bz2"
# The file's name and time in the gzip header; two 100 k blocks in one bzip2 stream.
touch -d "@$SOURCE_DATE_EPOCH" docs/readme.txt
gzip -9 -c docs/readme.txt > "$out/sample.named.gz"
yes "card photo" | head -c 150000 | bzip2 -1 > "$out/sample.blocks.bz2"
xz -9 -c docs/readme.txt > "$out/sample.xz"
(cd docs && 7z a -bd -bso0 readme.7z readme.txt && cp readme.7z "$out/sample.7z")
sqlite3 "$out/sample.sqlite.tmp" "create table t(a,b); insert into t values(1,'card'),(2,'photo');"
mv "$out/sample.sqlite.tmp" "$out/sample.sqlite"
(cd docs && gcab -c -n readme.cab readme.txt && cp readme.cab "$out/sample.cab")
convert base.ppm base-djvu.ppm && c44 base-djvu.ppm "$out/sample.djvu"
ls -l "$out"
