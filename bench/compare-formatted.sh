#!/usr/bin/env bash
# Quick-formatted media, side by side: our Undelete scan and sleuthkit's tsk_recover -e.
# Three images, each filled as a user fills one and then quick-formatted with the same
# geometry, so the root (FAT) or the MFT (NTFS) is new and empty and the data area is as it was:
#  - a 128 MiB FAT32 camera card: DCIM/100CANON with twelve photos and a folder "Ferien am Meer"
#    with two more, a photo directly in DCIM, MISC/notes.txt, a file in the root; mkfs.fat over it;
#  - a 64 MiB FAT16 card with the same files;
#  - a 128 MiB NTFS volume holding 25 photos in "Bilder/Urlaub 2024" and a note in "Bilder",
#    filled through an ntfs-3g mount; mkntfs -Q over it.
# The photos are real JPEGs (the bundled sample picture padded with comment segments of random
# bytes), since our scan drops pictures that do not decode; the other files are random bytes.
# Prints per image and tool the files recovered byte-identical anywhere, and those recovered
# byte-identical under their original parent folder and name (the last two parts of the path:
# the name of a folder whose own entry was in the formatted root is lost to every tool). Ours
# must reach tsk_recover on the FAT cards and pass it on the NTFS volume, on the second count.
#
# Usage: bench/compare-formatted.sh [BUILD_DIR]     (needs root and /dev/fuse for the NTFS
#        mount; KEEP=1 keeps the work folder for a look afterwards)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
cli="$build/cli/trellmond-cli"
[ -x "$cli" ] || { echo "build trellmond-cli first ($cli not found)" >&2; exit 1; }
for tool in mkfs.fat mcopy mmd mkntfs ntfs-3g tsk_recover; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed" >&2; exit 1; }
done

work="$(mktemp -d /tmp/trellmond-compare-formatted-XXXXXX)"
mnt="$work/mnt"
cleanup() { mountpoint -q "$mnt" 2>/dev/null && umount "$mnt"; rm -rf "$work"; }
trap cleanup EXIT
[ -n "${KEEP:-}" ] && trap - EXIT
export LC_ALL=C.UTF-8 MTOOLS_SKIP_CHECK=1 MTOOLSRC=/dev/null
source "$root/bench/card-files.sh"
RANDOM=2324

# originals LIST FILE REL: notes a file put on a card as "sha256<TAB>path".
original() { printf '%s\t%s\n' "$(sha256sum < "$2" | cut -c1-64)" "$3" >> "$1"; }

# fat_card IMAGE BITS SIZE_KIB LIST: the camera card, quick-formatted.
fat_card() {
  local image="$1" bits="$2" size="$3" list="$4" stage="$work/stage-$2" rel
  : > "$list"
  mkdir -p "$stage/DCIM/100CANON/Ferien am Meer" "$stage/MISC"
  mkfs.fat -F "$bits" -n CARD -C "$image" "$size" >/dev/null
  mmd -i "$image" ::/DCIM ::/DCIM/100CANON "::/DCIM/100CANON/Ferien am Meer" ::/MISC
  for i in $(seq 1 12); do
    rel="DCIM/100CANON/IMG_$(printf %04d "$i").JPG"
    make_jpeg $(( 150000 + RANDOM % 400000 )) "$stage/$rel"
  done
  make_jpeg 240000 "$stage/DCIM/100CANON/Ferien am Meer/Strand am Abend.jpg"
  make_jpeg 180000 "$stage/DCIM/100CANON/Ferien am Meer/Möwen über dem Hafen.jpg"
  make_jpeg 120000 "$stage/DCIM/Titelbild.jpg"
  head -c 5000 /dev/urandom > "$stage/MISC/notes.txt"
  head -c 3000 /dev/urandom > "$stage/root file.txt"
  while IFS= read -r -d '' f; do
    rel="${f#"$stage"/}"
    mcopy -i "$image" "$f" "::/$rel"
    original "$list" "$f" "$rel"
  done < <(find "$stage" -type f -print0 | sort -z)
  mkfs.fat -F "$bits" -n CARD "$image" >/dev/null
}

ntfs_volume() {
  local image="$1" list="$2" stage="$work/stage-ntfs" rel
  : > "$list"
  mkdir -p "$stage/Bilder/Urlaub 2024" "$mnt"
  truncate -s 128M "$image"
  mkntfs -F -q -Q "$image" >/dev/null 2>&1
  ntfs-3g "$image" "$mnt"
  for i in $(seq 1 25); do make_jpeg $(( 200000 + RANDOM % 600000 )) "$stage/Bilder/Urlaub 2024/IMG_$i.jpg"; done
  head -c 4000 /dev/urandom > "$stage/Bilder/Reiseplan.txt"
  mkdir -p "$mnt/Bilder/Urlaub 2024"
  while IFS= read -r -d '' f; do
    rel="${f#"$stage"/}"
    cp "$f" "$mnt/$rel"
    original "$list" "$f" "$rel"
  done < <(find "$stage" -type f -print0 | sort -z)
  umount "$mnt"
  mkntfs -F -q -Q "$image" >/dev/null 2>&1
}

# count OUT LIST: "identical named": originals found byte-identical anywhere under OUT, and
# those whose copy ends in the original's parent folder and name.
count() {
  local out="$1" list="$2" identical=0 named=0 f h rel hash tail
  declare -A hashes=() tails=()
  while IFS= read -r -d '' f; do
    h="$(sha256sum < "$f" | cut -c1-64)"
    hashes["$h"]=1
    rel="${f#"$out"/}"
    tails["$(basename "$(dirname "$rel")")/$(basename "$rel")|$h"]=1
  done < <(find "$out" -type f -print0)
  while IFS=$'\t' read -r hash rel; do
    [ -n "${hashes[$hash]:-}" ] && identical=$((identical + 1))
    tail="$(basename "$(dirname "$rel")")/$(basename "$rel")"
    [ -n "${tails["$tail|$hash"]:-}" ] && named=$((named + 1))
  done < "$list"
  echo "$identical $named"
}

status=0
printf '%-14s %-12s %6s %10s %14s %8s\n' image tool files identical "parent+name" seconds
compare() {
  local name="$1" image="$2" list="$3" rule="$4" tool t0 t1 n
  declare -A identical=() named=()
  local total
  total=$(wc -l < "$list")
  for tool in ours tsk; do
    local out="$work/$name/$tool"
    mkdir -p "$out"
    t0=$(date +%s.%N)
    case $tool in
      ours) "$cli" scan "$image" --out "$out" >/dev/null 2>&1 || true ;;
      tsk) tsk_recover -e "$image" "$out" >/dev/null 2>&1 || true ;;
    esac
    t1=$(date +%s.%N)
    read -r identical[$tool] named[$tool] < <(count "$out" "$list")
    n=$(find "$out" -type f | wc -l)
    printf '%-14s %-12s %6d %6d/%-3d %10d/%-3d %8.2f\n' "$name" "$tool" "$n" "${identical[$tool]}" "$total" \
      "${named[$tool]}" "$total" "$(echo "$t1 - $t0" | bc)"
  done
  if [ "$rule" = strict ] && (( named[ours] <= named[tsk] )); then
    echo "$name: ours not above tsk_recover"; status=1
  elif (( named[ours] < named[tsk] )); then
    echo "$name: ours below tsk_recover"; status=1
  fi
}

fat_card "$work/fat32.img" 32 131072 "$work/fat32.txt"
fat_card "$work/fat16.img" 16 65536 "$work/fat16.txt"
ntfs_volume "$work/ntfs.img" "$work/ntfs.txt"
compare fat32-card "$work/fat32.img" "$work/fat32.txt" even
compare fat16-card "$work/fat16.img" "$work/fat16.txt" even
compare ntfs-volume "$work/ntfs.img" "$work/ntfs.txt" strict
echo
if (( status == 0 )); then
  echo "ours >= tsk_recover on the FAT cards and above it on the NTFS volume: yes"
else
  echo "ours >= tsk_recover on the FAT cards and above it on the NTFS volume: NO"
fi
exit $status
