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
# Prints, for each tool, the deleted files recovered byte-identical, those recovered under
# their original folder and name (compared without regard to case: our saves upper-case the
# extension), and the seconds taken.
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
total=$(wc -l < "$deleted")
before=$(sha256sum < "$image")


t0=$(date +%s.%N)
"$cli" scan "$image" --undelete --out "$work/ours" >/dev/null 2>&1 || true
t1=$(date +%s.%N)
mkdir -p "$work/ntfsundelete"
ntfsundelete "$image" -u -m '*' -p 100 -d "$work/ntfsundelete" >/dev/null 2>&1 || true
t2=$(date +%s.%N)
tsk_recover -i raw "$image" "$work/tsk" >/dev/null 2>&1 || true
t3=$(date +%s.%N)
[ "$(sha256sum < "$image")" = "$before" ] || { echo "the image changed!" >&2; exit 1; }
read -r ours_identical ours_named < <(count_recovered "$work/ours" "$deleted")
read -r ntfsu_identical ntfsu_named < <(count_recovered "$work/ntfsundelete" "$deleted")
read -r tsk_identical tsk_named < <(count_recovered "$work/tsk" "$deleted")

printf 'Deleted files on the image: %d\n\n' "$total"
printf '%-22s %12s %18s %10s\n' "tool" "identical" "original path" "seconds"
printf '%-22s %12d %18d %10.2f\n' "trellmond-cli" "$ours_identical" "$ours_named" "$(echo "$t1 - $t0" | bc)"
printf '%-22s %12d %18d %10.2f\n' "ntfsundelete" "$ntfsu_identical" "$ntfsu_named" "$(echo "$t2 - $t1" | bc)"
printf '%-22s %12d %18d %10.2f\n' "tsk_recover" "$tsk_identical" "$tsk_named" "$(echo "$t3 - $t2" | bc)"
status=0
for peer in ntfsu tsk; do
  identical_var="${peer}_identical"; named_var="${peer}_named"
  if (( ours_identical < ${!identical_var} )) || (( ours_named <= ${!named_var} && ours_named < total )); then
    echo "ours against $peer: NOT better"; status=1
  fi
done
(( status == 0 )) && echo "ours >= each peer in identical files, and more under their original path: yes"
exit $status
