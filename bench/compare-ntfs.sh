#!/usr/bin/env bash
# Side by side on one NTFS image: our Undelete scan, ntfs-3g's ntfsundelete and sleuthkit's
# tsk_recover. The image (mkntfs, filled through an ntfs-3g mount) holds a few hundred files
# in nested folders. The pictures among them are real JPEGs (the bundled sample picture padded
# with comment segments of random bytes), since our scan drops pictures that do not decode;
# the other files are random bytes. A third of the files are deleted. Then the card is used on
# a little, as a user does: the folder "Pictures/2005/Beach" is deleted whole, and at the next
# mount the same folder is made again and five new photos are copied into it. ntfs-3g hands out
# the lowest free MFT records, so the new folder takes the old folder's record, and each new
# photo the record of one deleted photo, which is then lost to every tool. The old photos'
# parent reference still names that record number: our scan follows the record number to a
# folder of the same name in the same place, while tsk_recover sees the changed sequence number
# and files them under $OrphanFiles. (Had a folder of another name taken the record, our scan
# would file them under that name and tsk_recover under $OrphanFiles: neither original.)
# A second image holds deleted files with named streams ("notes 1.txt:secret", thumbnails with
# runs of their own, downloads' Zone.Identifier marks) and deleted empty files.
# A third image is made with 4096-byte sectors (mkntfs -s 4096), as 4Kn disks and many USB
# enclosures have: deleted small files that live inside their records (across the update
# sequence words at every 512 bytes), larger ones, and files dated 2040.
# Prints, per image and tool, the deleted files and streams recovered byte-identical, those
# recovered byte-identical under their original folder and name, exactly as spelt (a stream as
# "file:stream" beside its file), and the seconds taken. Ours must reach each peer on both
# counts on both images, and pass each on the streams image.
#
# Usage: bench/compare-ntfs.sh [BUILD_DIR]     (needs root and /dev/fuse for the mount;
#        KEEP=1 keeps the work folder for a look afterwards)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
cli="$build/cli/trellmond-cli"
[ -x "$cli" ] || { echo "build trellmond-cli first ($cli not found)" >&2; exit 1; }
for tool in mkntfs ntfs-3g ntfsundelete tsk_recover; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed" >&2; exit 1; }
done

work="$(mktemp -d /tmp/trellmond-compare-ntfs-XXXXXX)"
mnt="$work/mnt"
cleanup() { mountpoint -q "$mnt" && umount "$mnt"; rm -rf "$work"; }
trap cleanup EXIT
[ -n "${KEEP:-}" ] && trap - EXIT
export LC_ALL=C.UTF-8
image="$work/disk.ntfs"
truncate -s 256M "$image"
mkntfs -F -q -Q -c 4096 -L DISK "$image" >/dev/null 2>&1
mkdir -p "$mnt"
ntfs-3g "$image" "$mnt"

source "$root/bench/card-files.sh"
stage="$work/stage"
folders=("Pictures/2005/Beach" "Pictures/2005/Mountains" "Documents/Letters" "Documents/Tax returns"
         "Music/Old songs" "Downloads" "Projects/Säule und Brücke" "Misc")
# Each file goes onto the volume right after it is made, so the records keep that order.
while IFS= read -r rel; do
  mkdir -p "$mnt/$(dirname "$rel")"
  cp "$stage/$rel" "$mnt/$rel"
done < <(fill_card "$stage" jpeg docx 100 "${folders[@]}")

# Delete every third file; remember the deleted originals.
deleted="$work/deleted.txt"
: > "$deleted"
i=0
while IFS= read -r -d '' f; do
  i=$((i + 1))
  rel="${f#"$stage"/}"
  if (( i % 3 == 0 )); then
    rm "$mnt/$rel"
    printf '%s\t%s\n' "$(sha256sum < "$f" | cut -c1-64)" "$rel" >> "$deleted"
  fi
done < <(find "$stage" -type f -print0 | sort -z)

# Later the whole Beach folder goes; at the next mount it is made again with five new photos.
beach="Pictures/2005/Beach"
while IFS= read -r -d '' f; do
  rel="${f#"$stage"/}"
  [ -e "$mnt/$rel" ] && printf '%s\t%s\n' "$(sha256sum < "$f" | cut -c1-64)" "$rel" >> "$deleted"
done < <(find "$stage/$beach" -type f -print0 | sort -z)
rm -r "${mnt:?}/$beach"
umount "$mnt"
ntfs-3g "$image" "$mnt"
mkdir -p "$mnt/$beach"
RANDOM=2006
for j in 1 2 3 4 5; do
  make_jpeg $(( (RANDOM * 10 % 200000) + 100 )) "$work/new.jpg"
  cp "$work/new.jpg" "$mnt/$beach/DSC_000$j.jpg"
done
umount "$mnt"

# A second image: deleted files with named streams (hidden notes, thumbnails with runs of their
# own, downloads' Zone.Identifier marks) and deleted empty files.
streams="$work/streams.ntfs"
streams_deleted="$work/streams-deleted.txt"
: > "$streams_deleted"
truncate -s 64M "$streams"
mkntfs -F -q -Q -c 4096 -L STREAMS "$streams" >/dev/null 2>&1
ntfs-3g -o streams_interface=windows "$streams" "$mnt"
mkdir -p "$mnt/Docs" "$mnt/Downloads" "$mnt/Photos" "$mnt/Empty"
remember() { printf '%s\t%s\n' "$(sha256sum < "$1" | cut -c1-64)" "$2" >> "$streams_deleted"; }
for j in $(seq 1 10); do
  head -c $((j * 900)) /dev/urandom > "$work/f"; cp "$work/f" "$mnt/Docs/notes $j.txt"; remember "$work/f" "Docs/notes $j.txt"
  head -c $((j * 250)) /dev/urandom > "$work/f"; cp "$work/f" "$mnt/Docs/notes $j.txt:secret"
  remember "$work/f" "Docs/notes $j.txt:secret"
  head -c $((j * 3000)) /dev/urandom > "$work/f"; cp "$work/f" "$mnt/Downloads/manual $j.pdf"
  remember "$work/f" "Downloads/manual $j.pdf"
  printf '[ZoneTransfer]\r\nZoneId=3\r\nHostUrl=https://example.org/manual%d.pdf\r\n' "$j" > "$work/f"
  cp "$work/f" "$mnt/Downloads/manual $j.pdf:Zone.Identifier"; remember "$work/f" "Downloads/manual $j.pdf:Zone.Identifier"
  make_jpeg $((j * 5000)) "$work/f"; cp "$work/f" "$mnt/Photos/pic $j.jpg"; remember "$work/f" "Photos/pic $j.jpg"
  head -c 20000 /dev/urandom > "$work/f"; cp "$work/f" "$mnt/Photos/pic $j.jpg:thumbnail"
  remember "$work/f" "Photos/pic $j.jpg:thumbnail"
  : > "$work/f"; cp "$work/f" "$mnt/Empty/leer $j.txt"; remember "$work/f" "Empty/leer $j.txt"
done
rm -f "$mnt"/Docs/* "$mnt"/Downloads/* "$mnt"/Photos/* "$mnt"/Empty/*
umount "$mnt"

# A third image on 4096-byte sectors: small files inside their records, larger ones, and a
# folder of files dated 2040.
sectors="$work/sectors4k.ntfs"
sectors_deleted="$work/sectors4k-deleted.txt"
: > "$sectors_deleted"
truncate -s 64M "$sectors"
mkntfs -F -q -Q -s 4096 -c 4096 -L SECTORS "$sectors" >/dev/null 2>&1
ntfs-3g "$sectors" "$mnt"
mkdir -p "$mnt/Small" "$mnt/Large" "$mnt/Zukunft"
for j in $(seq 1 10); do
  head -c $((100 + j * 61)) /dev/urandom > "$work/f"; cp "$work/f" "$mnt/Small/note $j.txt"
  printf '%s\t%s\n' "$(sha256sum < "$work/f" | cut -c1-64)" "Small/note $j.txt" >> "$sectors_deleted"
  head -c $((j * 9000)) /dev/urandom > "$work/f"; cp "$work/f" "$mnt/Large/data $j.bin"
  printf '%s\t%s\n' "$(sha256sum < "$work/f" | cut -c1-64)" "Large/data $j.bin" >> "$sectors_deleted"
done
for j in 1 2 3; do
  head -c $((j * 3000)) /dev/urandom > "$work/f"; cp "$work/f" "$mnt/Zukunft/brief $j.txt"
  touch -d "2040-0$j-01 12:00:00" "$mnt/Zukunft/brief $j.txt"
  printf '%s\t%s\n' "$(sha256sum < "$work/f" | cut -c1-64)" "Zukunft/brief $j.txt" >> "$sectors_deleted"
done
head -c 300000 /dev/urandom > "$mnt/kept.bin"
rm -f "$mnt"/Small/* "$mnt"/Large/* "$mnt"/Zukunft/*
umount "$mnt"

status=0
printf '%-12s %-16s %8s %10s %15s %9s\n' "image" "tool" "deleted" "identical" "original path" "seconds"
# compare NAME IMAGE LIST STRICT: runs the three tools on the image, prints and checks.
compare() {
  local name="$1" image="$2" list="$3" strict="$4" dir="$work/$1" before total t0 t1 t2 t3 tool
  mkdir -p "$dir/ours" "$dir/ntfsundelete" "$dir/tsk"
  total=$(wc -l < "$list")
  before=$(sha256sum < "$image")
  t0=$(date +%s.%N)
  "$cli" scan "$image" --undelete --out "$dir/ours" >/dev/null 2>&1 || true
  t1=$(date +%s.%N)
  ntfsundelete "$image" -u -m '*' -p 100 -d "$dir/ntfsundelete" >/dev/null 2>&1 || true
  t2=$(date +%s.%N)
  tsk_recover -i raw "$image" "$dir/tsk" >/dev/null 2>&1 || true
  t3=$(date +%s.%N)
  [ "$(sha256sum < "$image")" = "$before" ] || { echo "$name: the image changed!" >&2; exit 1; }
  declare -A identical=() named=()
  for tool in ours ntfsundelete tsk; do
    read -r "identical[$tool]" "named[$tool]" < <(count_recovered "$dir/$tool" "$list")
  done
  printf '%-12s %-16s %8d %10d %15d %9.2f\n' "$name" "trellmond-cli" "$total" "${identical[ours]}" \
    "${named[ours]}" "$(echo "$t1 - $t0" | bc)"
  printf '%-12s %-16s %8d %10d %15d %9.2f\n' "$name" "ntfsundelete" "$total" "${identical[ntfsundelete]}" \
    "${named[ntfsundelete]}" "$(echo "$t2 - $t1" | bc)"
  printf '%-12s %-16s %8d %10d %15d %9.2f\n' "$name" "tsk_recover" "$total" "${identical[tsk]}" "${named[tsk]}" \
    "$(echo "$t3 - $t2" | bc)"
  for tool in ntfsundelete tsk; do
    if (( identical[ours] < identical[$tool] || named[ours] < named[$tool] )); then
      echo "$name: ours below $tool"; status=1
    elif [ "$strict" = strict ] && (( identical[ours] <= identical[$tool] && named[ours] <= named[$tool] )); then
      echo "$name: ours not above $tool"; status=1
    fi
  done
}

compare card-ntfs "$image" "$deleted" even
compare streams-ntfs "$streams" "$streams_deleted" strict
compare sectors4k-ntfs "$sectors" "$sectors_deleted" even
dated=$(find "$work/sectors4k-ntfs/ours/Zukunft" -type f -newermt "2040-01-01" 2>/dev/null | wc -l)
echo "sectors4k-ntfs: files saved by ours with their 2040 date: $dated of 3"
(( dated == 3 )) || status=1

# Every record of a volume, system files included (--all): no file written larger than the largest
# real file on it (the volume-sized sparse bad-cluster list is no file to save), and no name that
# ends in a dot.
all="$work/all-ntfs"
"$cli" scan "$sectors" --all --out "$all" >/dev/null 2>&1 || true
largest=300000
for system in '$MFT' '$LogFile' '$MFTMirr' '$Boot' '$Bitmap' '$UpCase' '$Secure'; do
  size=$(ntfsinfo -F "$system" "$sectors" 2>/dev/null | sed -n 's/.*Allocated [Ss]ize:[[:space:]]*\([0-9]*\).*/\1/p' |
    sort -n | tail -1)
  [ -n "$size" ] && (( size > largest )) && largest=$size
done
biggest=$(find "$all" -type f -printf '%s\n' | sort -n | tail -1)
dotted=$(find "$all" -name '*.' | wc -l)
printf 'all-ntfs: %d files written, largest %d bytes (largest real file %d); names ending in a dot: %d\n' \
  "$(find "$all" -type f | wc -l)" "${biggest:-0}" "$largest" "$dotted"
(( ${biggest:-0} <= largest && dotted == 0 )) || { echo "all-ntfs: NO"; status=1; }
echo
if (( status == 0 )); then
  echo "ours >= each peer on every image, and above each on the streams image: yes"
else
  echo "ours >= each peer on every image, and above each on the streams image: NO"
fi
exit $status
