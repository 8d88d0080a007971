#!/usr/bin/env bash
# Makes the seed corpus of every fuzz target under OUTDIR/<target>/ from real volumes
# (mkfs.fat + mtools, mkntfs + ntfscp), the sample files of tests/data/samples, the
# bundled catalogue and typical requests and replies. The first byte of a seed is the
# option byte its target reads (see each target's source).
set -euo pipefail
out="${1:?usage: make-seeds.sh OUTDIR}"
src="$(cd "$(dirname "$0")/../.." && pwd)"
samples="$src/tests/data/samples"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
for t in file_end volume fat_directory ntfs_record lznt1 catalogue carver picture_check service_query client_reply; do
  mkdir -p "$out/fuzz_$t"
done

# Writes the option byte $2 (decimal) followed by the file $3 (or standard input) to $1.
with_option() { { printf "\\$(printf '%03o' "$2")"; cat "${3:--}"; } > "$1"; }

# Volumes: a card of each FAT width with live, deleted, long-named and nested files,
# cut to its first MiB (boot sector, tables, root directory and the first files).
echo "holiday notes" > "$work/notes.txt"
for fat in 12 16 32; do
  img="$work/fat$fat.img"
  size=$([ "$fat" = 32 ] && echo 34 || { [ "$fat" = 16 ] && echo 5 || echo 1; })
  truncate -s "${size}M" "$img"
  mkfs.fat -F "$fat" -S 512 -s 1 -n CARD "$img" >/dev/null
  export MTOOLS_SKIP_CHECK=1
  mmd -i "$img" ::/DCIM ::/DCIM/Trip
  mcopy -i "$img" "$samples/sample.jpg" "::/DCIM/Beach day at the sea.jpg"
  mcopy -i "$img" "$samples/sample.gif" ::/DCIM/Trip/anim.gif
  mcopy -i "$img" "$samples/sample.bmp" ::/kept.bmp
  mcopy -i "$img" "$work/notes.txt" ::/notes.txt
  mdel -i "$img" "::/DCIM/Beach day at the sea.jpg" ::/notes.txt
  head -c 1M "$img" > "$out/fuzz_volume/fat$fat.img"
  # The root directory's sectors, as the directory target reads them.
  if [ "$fat" = 32 ]; then root=$(python3 -c "
import struct,sys; b=open('$img','rb').read(512)
r,f,n=struct.unpack('<H',b[14:16])[0],struct.unpack('<I',b[36:40])[0],b[16]
print(r+n*f)"); else root=$(python3 -c "
import struct; b=open('$img','rb').read(512)
print(struct.unpack('<H',b[14:16])[0]+b[16]*struct.unpack('<H',b[22:24])[0])"); fi
  # Split after three entries, inside the long name of the first file.
  dd if="$img" bs=512 skip="$root" count=4 status=none | with_option /dev/stdout 3 \
    | with_option "$out/fuzz_fat_directory/root$fat" $((fat == 32 ? 2 : fat == 16 ? 1 : 0))
done

# An exFAT card with live, deleted, fragmented and long-named files and a deleted folder, filled
# through exfat-fuse on a loop device where this machine allows it (root and /dev/fuse), else
# only formatted. Clusters of one sector and a 4 KiB alignment keep everything in one MiB.
img="$work/exfat.img"
truncate -s 1M "$img"
mkfs.exfat -c 512 -b 4K -L CARD "$img" >/dev/null
if [ "$(id -u)" = 0 ] && [ -w /dev/fuse ] && command -v mount.exfat-fuse >/dev/null; then
  mnt="$work/exfat.mnt"
  mkdir -p "$mnt"
  loop="$(losetup -f --show "$img")"
  if mount.exfat-fuse "$loop" "$mnt" 2>/dev/null; then
    mkdir -p "$mnt/DCIM/100CANON" "$mnt/Alte Projekte – Über die Jahre 日本語/Unterordner"
    cp "$samples/sample.jpg" "$mnt/DCIM/100CANON/IMG_0001.JPG"
    cp "$samples/sample.gif" "$mnt/DCIM/100CANON/IMG_0002.GIF"
    cp "$work/notes.txt" "$mnt/Alte Projekte – Über die Jahre 日本語/Unterordner/Notiz mit einem langen Namen.txt"
    head -c 3000 /dev/urandom > "$mnt/first.txt"
    head -c 3000 /dev/urandom > "$mnt/between.txt"
    head -c 3000 /dev/urandom >> "$mnt/first.txt"
    rm "$mnt/DCIM/100CANON/IMG_0001.JPG" "$mnt/first.txt"
    rm -rf "$mnt/Alte Projekte – Über die Jahre 日本語"
    umount "$mnt"
  fi
  losetup -d "$loop"
  for _ in $(seq 1 100); do [ -z "$(losetup -j "$img")" ] && break; sleep 0.05; done
fi
cp "$img" "$out/fuzz_volume/exfat.img"
# The same card with its main boot region damaged: the backup region takes over.
cp "$img" "$out/fuzz_volume/exfat-backup.img"
printf '\x5a' | dd of="$out/fuzz_volume/exfat-backup.img" bs=1 seek=96 conv=notrunc status=none

img="$work/ntfs.img"
truncate -s 2M "$img"
mkntfs -F -q -Q -c 4096 -s 512 "$img" >/dev/null 2>&1
ntfscp -f -q "$img" "$samples/sample.jpg" holiday.jpg
ntfscp -f -q "$img" "$work/notes.txt" notes.txt
ntfscp -f -q -N Zone.Identifier "$img" "$work/notes.txt" holiday.jpg
cp "$img" "$out/fuzz_volume/ntfs.img"
mft=$(python3 -c "
import struct; b=open('$img','rb').read(512)
print(struct.unpack('<Q',b[48:56])[0]*b[13]*struct.unpack('<H',b[11:13])[0])")
# Option 66: 512-byte sectors, named streams decoded too.
for n in 0 1 3 5 6 11 16 64 65; do
  dd if="$img" bs=1024 skip=$((mft / 1024 + n)) count=1 status=none | with_option "$out/fuzz_ntfs_record/record$n" 66
done

# LZNT1 units: a stored chunk, a compressed chunk with a back-reference, two chunks.
printf '\x0f\x30qqqqqqqqqqqqqqqq' | with_option "$out/fuzz_lznt1/stored" 1
printf '\x06\xb0\x00abc\x00\x20' | with_option "$out/fuzz_lznt1/reference" 0
printf '\x02\xb0\x00ab\x02\xb0\x00cd' | with_option "$out/fuzz_lznt1/two-chunks" 2

cp "$src/service/data/catalogue/details.txt" "$out/fuzz_catalogue/details.txt"
head -n 3 "$src/service/data/catalogue/details.txt" > "$out/fuzz_catalogue/three-lines.txt"

# Drive bytes: samples between random bytes, at odd and cluster offsets.
for s in jpg png gif bmp pdf zip doc; do
  { head -c 1500 /dev/urandom; cat "$samples/sample.$s"; head -c 700 /dev/urandom; cat "$samples/sample.jpg"; } \
    | head -c 200000 | with_option "$out/fuzz_carver/$s" "$([ "$s" = jpg ] && echo 1 || echo 8)"
done

# Each sample whole, for the walker of its type (the option bytes pick type and piece size).
ends=(jpg png gif bmp ico tif cr2 orf rw2 raf avi wav webp aif zip docx pdf doc xls mp4 mov 3gp m4a mp3 flac ogg
      mid flv mkv webm wmv psd heic jp2 pcx dds wmf rtf gz bz2 amr xml mpg voc wma ppt odt jar)
for i in "${!ends[@]}"; do
  s="${ends[$i]}"
  # Every form of the type: sample.<ext> and sample.<variant>.<ext>.
  for f in "$samples"/sample.$s "$samples"/sample.*.$s; do
    [ -f "$f" ] || continue
    { printf "\\$(printf '%03o' "$i")\\$(printf '%03o' 40)"; cat "$f"; } > "$out/fuzz_file_end/$(basename "$f")"
  done
done

declare -A types=([jpg]=0 [gif]=1 [bmp]=2 [wmf]=3 [jpeg]=5)
for s in "${!types[@]}"; do
  with_option "$out/fuzz_picture_check/$s" "${types[$s]}" "$samples/sample.$s"
done
with_option "$out/fuzz_picture_check/exif.jpg" 0 "$samples/sample.exif.jpg"

q="$out/fuzz_service_query"
printf '/php/addlog.php?transaction=1234&message=Disk%%20Type:%%20FAT32%%20%%3Cbr%%3E%%20x&action=46' > "$q/addlog"
printf '/php/getkey.php?searchKey=VERSION&language=ENG' > "$q/getkey"
printf '/php/addstats.php?transaction=9&drivesize=%%5B64%%20MB%%5D&number=3&types=jpg;png&scantype=F-Scan' > "$q/stats"

r="$out/fuzz_client_reply"
printf '<html><body>\n1234567\n</body></html>' > "$r/transaction"
printf '<html><body>\nVERSION;1.0\n</body></html>' > "$r/version"
{ printf '<html><body>\n'; sed 's/$/<BR \/>/' "$src/service/data/catalogue/overview-low.txt" | tr -d '\n'; printf '\n</body></html>'; } > "$r/overview"
