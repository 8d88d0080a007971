#!/usr/bin/env bash
# Whole-disk images with partition tables, as `dd` of a card or disk gives them, made by sfdisk
# and holding volumes made by mkfs.fat (filled with mtools) and mkntfs (filled through ntfs-3g);
# each volume is made as a file of its own, kept, and copied into the disk at its offset.
#
#   mbr-one        MBR, one FAT16 partition at sector 2048
#   mbr-three      MBR, FAT32 and NTFS primaries and a FAT12 logical partition in an extended one
#   gpt            GPT, an EFI system partition (FAT16) and a basic data partition (NTFS)
#   gpt-4k         GPT of a 4096-byte-sector disk (made on a loop device), a FAT16 volume on 4 KiB sectors
#   wiped-mbr      mbr-one with its partition table sector zeroed
#   wiped-fat32    an MBR FAT32 disk with the table and the volume's first sector zeroed
#   wiped-ntfs     likewise an NTFS disk: only the backup in the volume's last sector is left
#   hostile-mbr    mbr-one with entries added by hand (no tool writes them): one overlapping the
#                  volume, one beyond the disk, an extended partition whose chain points at itself
#   hostile-gpt    GPT with 4096 entries in its array, one NTFS data partition
#
# Writes DIR/<disk>.img, DIR/<disk>-<n>.vol (each volume as made) with DIR/<disk>-<n>.deleted
# ("sha256<TAB>path" of its deleted files), and DIR/manifest.tsv: one line per volume with
# "disk  partition  offset-bytes  sector-size  volume-file  deleted-list  wiped(yes/no)".
# Usage: make-partition-disks.sh DIR [DISK...]
set -euo pipefail
out="$1"
shift
root="$(cd "$(dirname "$0")/../.." && pwd)"
export MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8
mkdir -p "$out"
work="$(mktemp -d /tmp/trellmond-disks-XXXXXX)"
cleanup() {
  [ -n "${mnt:-}" ] && mountpoint -q "$mnt" && umount "$mnt"
  [ -n "${loop:-}" ] && losetup -d "$loop" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
source "$root/bench/card-files.sh"
: > "$out/manifest.tsv"

# put FILE SIZE: a picture for .jpg names, random bytes otherwise.
put() {
  case "$1" in
    *.jpg) make_jpeg "$2" "$work/f" ;;
    *) head -c "$2" /dev/urandom > "$work/f" ;;
  esac
}

# fat_volume FILE FATBITS KIB LABEL LIST [SECTOR]: a FAT volume with folders of files, some deleted.
fat_volume() {
  local file="$1" bits="$2" kib="$3" label="$4" list="$5" sector="${6:-512}" i rel
  : > "$list"
  local clusters=()
  [ "$sector" = 512 ] || clusters=(-s 1)  # enough clusters for FAT16 on big sectors
  mkfs.fat -F "$bits" -S "$sector" "${clusters[@]}" -n "$label" -C "$file" "$kib" >/dev/null
  mmd -i "$file" ::/DCIM "::/DCIM/100 CAMERA" "::/My Documents"
  for i in 1 2 3 4 5 6; do
    for rel in "DCIM/100 CAMERA/Holiday photo $i.jpg" "My Documents/Letter number $i.doc"; do
      put "$rel" $((6000 + i * 3100))
      mcopy -i "$file" "$work/f" "::/$rel"
      if (( i % 2 == 0 )); then
        printf '%s\t%s\n' "$(sha256sum < "$work/f" | cut -c1-64)" "$rel" >> "$list"
      fi
    done
  done
  for i in 2 4 6; do mdel -i "$file" "::/DCIM/100 CAMERA/Holiday photo $i.jpg" "::/My Documents/Letter number $i.doc"; done
}

# ntfs_volume FILE MIB LABEL LIST: an NTFS volume filled and emptied through ntfs-3g.
ntfs_volume() {
  local file="$1" mib="$2" label="$3" list="$4" i rel
  : > "$list"
  truncate -s "${mib}M" "$file"
  mkntfs -q -F -f -L "$label" "$file" >/dev/null 2>&1
  mnt="$work/mnt"
  mkdir -p "$mnt"
  ntfs-3g "$file" "$mnt"
  mkdir -p "$mnt/Pictures/Trip" "$mnt/Work"
  for i in 1 2 3 4 5 6; do
    for rel in "Pictures/Trip/Mountain view $i.jpg" "Work/Spreadsheet $i.xls"; do
      put "$rel" $((7000 + i * 2900))
      cp "$work/f" "$mnt/$rel"
      if (( i % 2 == 1 )); then
        printf '%s\t%s\n' "$(sha256sum < "$work/f" | cut -c1-64)" "$rel" >> "$list"
      fi
    done
  done
  sync
  for i in 1 3 5; do rm "$mnt/Pictures/Trip/Mountain view $i.jpg" "$mnt/Work/Spreadsheet $i.xls"; done
  umount "$mnt"
  mnt=""
}

# place DISK VOLUME OFFSET: the volume's bytes into the disk at OFFSET.
place() { dd if="$2" of="$1" bs=64K seek="$3" oflag=seek_bytes conv=notrunc status=none; }

# record DISK PARTITION OFFSET SECTOR VOLUME LIST WIPED
record() { printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$@" >> "$out/manifest.tsv"; }

# le32 FILE OFFSET VALUE: four little-endian bytes written by hand.
le32() {
  printf "$(printf '\\x%02x\\x%02x\\x%02x\\x%02x' $(($3 & 255)) $((($3 >> 8) & 255)) $((($3 >> 16) & 255)) \
    $((($3 >> 24) & 255)))" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none
}
# mbr_entry DISK SLOT-OFFSET TYPE START SECTORS: one 16-byte entry of a table sector.
mbr_entry() {
  printf "\\x00\\xfe\\xff\\xff\\x$(printf %02x "$3")\\xfe\\xff\\xff" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none
  le32 "$1" $(($2 + 8)) "$4"
  le32 "$1" $(($2 + 12)) "$5"
}

make_mbr_one() {  # NAME
  truncate -s 48M "$out/$1.img"
  printf 'label: dos\nstart=2048, size=32M, type=e\n' | sfdisk -q "$out/$1.img"
  fat_volume "$out/$1-1.vol" 16 32768 HOLIDAY "$out/$1-1.deleted"
  place "$out/$1.img" "$out/$1-1.vol" $((2048 * 512))
}

disk_mbr_one() {
  make_mbr_one mbr-one
  record mbr-one 1 $((2048 * 512)) 512 mbr-one-1.vol mbr-one-1.deleted no
}

disk_mbr_three() {
  local d=mbr-three
  truncate -s 80M "$out/$d.img"
  printf 'label: dos\nstart=2048, size=36M, type=c\nsize=20M, type=7\ntype=5\nsize=8M, type=1\n' |
    sfdisk -q "$out/$d.img"
  fat_volume "$out/$d-1.vol" 32 36864 CAMERA "$out/$d-1.deleted"
  ntfs_volume "$out/$d-2.vol" 20 BACKUP "$out/$d-2.deleted"
  fat_volume "$out/$d-3.vol" 12 8192 NOTES "$out/$d-3.deleted"
  local n start
  n=0
  while read -r start; do
    n=$((n + 1))
    place "$out/$d.img" "$out/$d-$n.vol" $((start * 512))
    record $d $n $((start * 512)) 512 $d-$n.vol $d-$n.deleted no
  done < <(sfdisk -J "$out/$d.img" | python3 -c '
import json, sys
parts = json.load(sys.stdin)["partitiontable"]["partitions"]
for p in parts:
    if p["type"] not in ("5", "f", "85"):
        print(p["start"])')
}

disk_gpt() {
  local d=gpt
  truncate -s 64M "$out/$d.img"
  printf 'label: gpt\nstart=2048, size=16M, type=U, name="EFI system partition"\nsize=40M, type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7, name="Basic data partition"\n' |
    sfdisk -q "$out/$d.img"
  fat_volume "$out/$d-1.vol" 16 16384 EFI "$out/$d-1.deleted"
  ntfs_volume "$out/$d-2.vol" 40 DATA "$out/$d-2.deleted"
  place "$out/$d.img" "$out/$d-1.vol" $((2048 * 512))
  place "$out/$d.img" "$out/$d-2.vol" $(((2048 + 32768) * 512))
  record $d 1 $((2048 * 512)) 512 $d-1.vol $d-1.deleted no
  record $d 2 $(((2048 + 32768) * 512)) 512 $d-2.vol $d-2.deleted no
}

disk_gpt_4k() {
  local d=gpt-4k
  truncate -s 64M "$out/$d.img"
  loop="$(losetup --sector-size 4096 -f --show "$out/$d.img")"
  printf 'label: gpt\nstart=256, size=40M, type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7\n' |
    sfdisk -q "$loop" 2>/dev/null || true  # a loop device without partition scanning cannot re-read it
  sfdisk -d "$loop" | grep -q "sector-size: 4096"
  losetup -d "$loop"
  loop=""
  fat_volume "$out/$d-1.vol" 16 40960 BIGSECTORS "$out/$d-1.deleted" 4096
  place "$out/$d.img" "$out/$d-1.vol" $((256 * 4096))
  record $d 1 $((256 * 4096)) 4096 $d-1.vol $d-1.deleted no
}

disk_wiped_mbr() {
  local d=wiped-mbr
  make_mbr_one $d
  dd if=/dev/zero of="$out/$d.img" bs=512 count=1 conv=notrunc status=none
  record $d 1 $((2048 * 512)) 512 $d-1.vol $d-1.deleted yes
}

disk_wiped_fat32() {
  local d=wiped-fat32
  truncate -s 48M "$out/$d.img"
  printf 'label: dos\nstart=2048, size=36M, type=c\n' | sfdisk -q "$out/$d.img"
  fat_volume "$out/$d-1.vol" 32 36864 OLDCARD "$out/$d-1.deleted"
  place "$out/$d.img" "$out/$d-1.vol" $((2048 * 512))
  dd if=/dev/zero of="$out/$d.img" bs=512 count=1 conv=notrunc status=none
  dd if=/dev/zero of="$out/$d.img" bs=512 seek=2048 count=1 conv=notrunc status=none
  record $d 1 $((2048 * 512)) 512 $d-1.vol $d-1.deleted yes
}

disk_wiped_ntfs() {
  local d=wiped-ntfs
  truncate -s 40M "$out/$d.img"
  printf 'label: dos\nstart=2048, size=32M, type=7\n' | sfdisk -q "$out/$d.img"
  ntfs_volume "$out/$d-1.vol" 32 OLDDISK "$out/$d-1.deleted"
  place "$out/$d.img" "$out/$d-1.vol" $((2048 * 512))
  dd if=/dev/zero of="$out/$d.img" bs=512 count=1 conv=notrunc status=none
  dd if=/dev/zero of="$out/$d.img" bs=512 seek=2048 count=1 conv=notrunc status=none
  record $d 1 $((2048 * 512)) 512 $d-1.vol $d-1.deleted yes
}

disk_hostile_mbr() {
  local d=hostile-mbr
  make_mbr_one $d
  # Entries no partitioning tool writes, so set by hand: one overlapping the volume, one far
  # beyond the disk's end, and an extended partition whose first link points back at itself.
  mbr_entry "$out/$d.img" $((446 + 16)) 12 4096 8192
  mbr_entry "$out/$d.img" $((446 + 32)) 7 20000000 4096
  mbr_entry "$out/$d.img" $((446 + 48)) 5 $((2048 + 65536 + 16)) 2048
  local ebr=$(((2048 + 65536 + 16) * 512))
  dd if=/dev/zero of="$out/$d.img" bs=512 count=1 seek=$((ebr / 512)) conv=notrunc status=none
  mbr_entry "$out/$d.img" $((ebr + 446)) 1 16 512
  mbr_entry "$out/$d.img" $((ebr + 462)) 5 0 2048
  printf '\x55\xaa' | dd of="$out/$d.img" bs=1 seek=$((ebr + 510)) conv=notrunc status=none
  record $d 1 $((2048 * 512)) 512 $d-1.vol $d-1.deleted no
}

disk_hostile_gpt() {
  local d=hostile-gpt
  truncate -s 48M "$out/$d.img"
  printf 'label: gpt\ntable-length: 4096\nfirst-lba: 2048\nstart=4096, size=32M, type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7\n' |
    sfdisk -q "$out/$d.img"
  ntfs_volume "$out/$d-1.vol" 32 MANY "$out/$d-1.deleted"
  place "$out/$d.img" "$out/$d-1.vol" $((4096 * 512))
  record $d 1 $((4096 * 512)) 512 $d-1.vol $d-1.deleted no
}

disks=("$@")
[ ${#disks[@]} -gt 0 ] || disks=(mbr-one mbr-three gpt gpt-4k wiped-mbr wiped-fat32 wiped-ntfs hostile-mbr hostile-gpt)
for d in "${disks[@]}"; do "disk_${d//-/_}"; done
