#!/usr/bin/env bash
# Side by side: our Undelete scan and sleuthkit's tsk_recover on the same exFAT cards, made by
# mkfs.exfat and filled through mount.exfat-fuse on a loop device (root, losetup and /dev/fuse
# needed). One card per case:
#   camera-exfat     a 256 MiB camera card: 30 photos in DCIM/100CANON, 10 of them deleted, a
#                    deleted folder tree with long names and a fragmented deleted text file;
#   card-exfat       a 512 MiB card of photos and documents in eight folders, every other file
#                    deleted;
#   folders-exfat    nested folders with long Unicode names deleted whole, files on every level;
#   fragments-exfat  30 logs, each grown in turns with an index file so that it lies in four
#                    pieces, deleted (exfat-fuse clears a deleted file's FAT chain).
# Prints, per card and tool, the deleted files recovered byte-identical, those recovered
# byte-identical under their original path and name, and the seconds the scan took. Ours must
# reach tsk_recover on both counts on every card.
#
# Usage: bench/compare-exfat.sh [BUILD_DIR]     (KEEP=1 keeps the work folder)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
cli="$build/cli/trellmond-cli"
[ -x "$cli" ] || { echo "build trellmond-cli first ($cli not found)" >&2; exit 1; }
command -v tsk_recover >/dev/null || { echo "tsk_recover (sleuthkit) is not installed" >&2; exit 1; }
command -v mkfs.exfat >/dev/null && command -v mount.exfat-fuse >/dev/null ||
  { echo "exfatprogs and exfat-fuse are not installed" >&2; exit 1; }
[ "$(id -u)" = 0 ] && [ -w /dev/fuse ] || { echo "needs root and /dev/fuse (a loop device and a FUSE mount)" >&2; exit 1; }

work="$(mktemp -d /tmp/trellmond-compare-exfat-XXXXXX)"
mnt="$work/mnt"
loop=""
cleanup() {
  if [ -n "$loop" ]; then umount "$mnt" 2>/dev/null || true; losetup -d "$loop" 2>/dev/null || true; fi
  [ -n "${KEEP:-}" ] || rm -rf "$work"
}
trap cleanup EXIT
export LC_ALL=C.UTF-8
source "$root/bench/card-files.sh"
mkdir -p "$mnt"

# mount_card IMAGE / unmount_card: the card's file system at $mnt while it is filled.
mount_card() { loop="$(losetup -f --show "$1")"; mount.exfat-fuse "$loop" "$mnt"; }
unmount_card() {
  umount "$mnt"; losetup -d "$loop"; loop=""
  # The daemon has written everything once the loop device is gone.
  for _ in $(seq 1 100); do [ -z "$(losetup -j "$1")" ] && break; sleep 0.05; done
}

# remember FILE LIST: FILE (below $mnt) is to be deleted; LIST keeps its hash and path.
remember() { printf '%s\t%s\n' "$(sha256sum < "$mnt/$1" | cut -c1-64)" "$1" >> "$2"; }

make_camera() {  # IMAGE LIST
  local i name
  truncate -s 256M "$1"; mkfs.exfat -L CANON "$1" >/dev/null
  mount_card "$1"
  mkdir -p "$mnt/DCIM/100CANON"
  for i in $(seq 1 30); do make_jpeg $((200000 + i * 9000)) "$mnt/DCIM/100CANON/IMG_$(printf %04d "$i").JPG"; done
  local tree="Urlaubsfotos vom Sommer 2023 am Meer und in den Bergen mit der ganzen Familie"
  mkdir -p "$mnt/$tree/Tag 1 – Anreise über die Alpen" "$mnt/$tree/Tag 2 – Wanderung zum Gipfelkreuz"
  for i in 1 2 3; do
    make_jpeg $((150000 + i * 5000)) "$mnt/$tree/Tag 1 – Anreise über die Alpen/Blick aus dem Zugfenster Nummer $i.jpg"
    head -c $((3000 + i * 500)) /dev/urandom > "$mnt/$tree/Tag 2 – Wanderung zum Gipfelkreuz/Notizen zur Route Teil $i.txt"
  done
  head -c 20000 /dev/urandom > "$mnt/Reisetagebuch.txt"
  make_jpeg 300000 "$mnt/DCIM/100CANON/IMG_0031.JPG"
  head -c 20000 /dev/urandom >> "$mnt/Reisetagebuch.txt"  # now in two pieces around IMG_0031
  for i in $(seq 3 3 30); do name="DCIM/100CANON/IMG_$(printf %04d "$i").JPG"; remember "$name" "$2"; rm "$mnt/$name"; done
  while IFS= read -r -d '' name; do remember "${name#"$mnt"/}" "$2"; done < <(find "$mnt/$tree" -type f -print0)
  rm -rf "${mnt:?}/$tree"
  remember Reisetagebuch.txt "$2"; rm "$mnt/Reisetagebuch.txt"
  unmount_card "$1"
}

make_card() {  # IMAGE LIST
  local i=0 rel
  truncate -s 512M "$1"; mkfs.exfat -L CARD "$1" >/dev/null
  mount_card "$1"
  # Every file is written before any is deleted: a file written later would take freed clusters.
  fill_card "$mnt" JPG doc 1000 "DCIM/100CANON" "DCIM/101CANON" "Holiday 2005/Beach" "Holiday 2005/Mountains" \
    "Documents/Letters" "Documents/Tax returns" "Music/Old songs" "Misc" > "$work/made.txt"
  while IFS= read -r rel; do
    i=$((i + 1))
    if (( i % 2 == 0 )); then remember "$rel" "$2"; rm "$mnt/$rel"; fi
  done < "$work/made.txt"
  unmount_card "$1"
}

make_folders() {  # IMAGE LIST
  local level path="" i
  truncate -s 128M "$1"; mkfs.exfat -L CARD "$1" >/dev/null
  mount_card "$1"
  for level in $(seq 1 12); do
    path="$path/Ebene $level – Ordner mit einem langen Namen, Umlauten äöü und 日本語 Nummer $level"
    mkdir -p "$mnt$path"
    for i in 1 2; do head -c $((level * 3000 + i * 700)) /dev/urandom > "$mnt$path/Datei $i auf Ebene $level – Übersicht.txt"; done
  done
  mkdir -p "$mnt/Bleibt"; head -c 5000 /dev/urandom > "$mnt/Bleibt/live.txt"
  while IFS= read -r -d '' rel; do remember "${rel#"$mnt"/}" "$2"; done < <(find "$mnt/Ebene 1"* -type f -print0)
  rm -rf "$mnt"/Ebene\ 1*
  unmount_card "$1"
}

make_fragments() {  # IMAGE LIST
  local round i
  truncate -s 64M "$1"; mkfs.exfat -L CARD "$1" >/dev/null
  mount_card "$1"
  mkdir -p "$mnt/Protokolle"
  # A log and its index grown in turns, pair after pair: each log lies in four pieces between
  # its index's; the logs are deleted, the indexes kept.
  for i in $(seq 1 30); do
    for round in 1 2 3 4; do
      head -c $((3000 + (i * 311 + round * 97) % 9000)) /dev/urandom >> "$mnt/Protokolle/Protokoll $i.log"
      head -c $((2000 + (i * 157) % 3000)) /dev/urandom >> "$mnt/Protokolle/Index $i.idx"
    done
  done
  for i in $(seq 1 30); do remember "Protokolle/Protokoll $i.log" "$2"; rm "$mnt/Protokolle/Protokoll $i.log"; done
  unmount_card "$1"
}

status=0
printf '%-16s %-16s %8s %10s %15s %9s\n' "card" "tool" "deleted" "identical" "original path" "seconds"
compare() {  # NAME MAKER
  local name="$1" maker="$2"
  local dir="$work/$name" image="$work/$name/card.img" list="$work/$name/deleted.txt"
  mkdir -p "$dir"; : > "$list"
  "$maker" "$image" "$list"
  local total before t0 t1 t2 ours_identical ours_named tsk_identical tsk_named
  total=$(wc -l < "$list")
  before=$(sha256sum < "$image")
  t0=$(date +%s.%N)
  "$cli" scan "$image" --undelete --out "$dir/ours" >/dev/null 2>&1 || true
  t1=$(date +%s.%N)
  tsk_recover -i raw "$image" "$dir/tsk" >/dev/null 2>&1 || true
  t2=$(date +%s.%N)
  mkdir -p "$dir/ours" "$dir/tsk"
  [ "$(sha256sum < "$image")" = "$before" ] || { echo "$name: the image changed!" >&2; exit 1; }
  read -r ours_identical ours_named < <(count_recovered "$dir/ours" "$list")
  read -r tsk_identical tsk_named < <(count_recovered "$dir/tsk" "$list")
  printf '%-16s %-16s %8d %10d %15d %9.2f\n' "$name" "trellmond-cli" "$total" "$ours_identical" "$ours_named" \
    "$(echo "$t1 - $t0" | bc)"
  printf '%-16s %-16s %8d %10d %15d %9.2f\n' "$name" "tsk_recover" "$total" "$tsk_identical" "$tsk_named" \
    "$(echo "$t2 - $t1" | bc)"
  if (( ours_identical < tsk_identical || ours_named < tsk_named )); then
    echo "$name: ours below tsk_recover"; status=1
  fi
}

compare camera-exfat make_camera
compare card-exfat make_card
compare folders-exfat make_folders
compare fragments-exfat make_fragments
echo
if (( status == 0 )); then
  echo "ours >= tsk_recover on every card: yes"
else
  echo "ours >= tsk_recover on every card: NO"
fi
exit $status
