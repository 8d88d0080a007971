#!/usr/bin/env bash
# Side by side: our Undelete scan and sleuthkit's tsk_recover on the same FAT32 image
# with a few hundred live and deleted files in nested folders. Prints, for each tool,
# the deleted files recovered byte-identical, those recovered under their original
# folder and name (compared without regard to case, as FAT does), and the seconds taken.
#
# Usage: bench/compare-undelete.sh [BUILD_DIR]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
cli="$build/cli/trellmond-cli"
[ -x "$cli" ] || { echo "build trellmond-cli first ($cli not found)" >&2; exit 1; }
command -v tsk_recover >/dev/null || { echo "tsk_recover (sleuthkit) is not installed" >&2; exit 1; }

work="$(mktemp -d /tmp/trellmond-compare-XXXXXX)"
trap 'rm -rf "$work"' EXIT
export MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8
stage="$work/stage"
mkdir -p "$stage"

# A camera-and-documents card: nested folders, long and short names, sizes from 1 KB to 300 KB.
source "$root/bench/card-files.sh"
fill_card "$stage" JPG doc 1000 "DCIM/100CANON" "DCIM/101CANON" "Holiday 2005/Beach" "Holiday 2005/Mountains" \
  "Documents/Letters" "Documents/Tax returns" "Music/Old songs" "Misc" >/dev/null
image="$work/card.img"
mkfs.fat -F 32 -s 2 -n CARD -C "$image" 131072 >/dev/null
(cd "$stage" && mcopy -s -i "$image" ./* ::/)

# Delete every other file; remember the deleted originals.
deleted="$work/deleted.txt"
: > "$deleted"
i=0
while IFS= read -r -d '' f; do
  i=$((i + 1))
  rel="${f#"$stage"/}"
  if (( i % 2 == 0 )); then
    mdel -i "$image" "::/$rel"
    printf '%s\t%s\n' "$(sha256sum < "$f" | cut -c1-64)" "$rel" >> "$deleted"
  fi
done < <(find "$stage" -type f -print0 | sort -z)
total=$(wc -l < "$deleted")
before=$(sha256sum < "$image")

run_ours() {
  "$cli" scan "$image" --undelete --out "$work/ours" >/dev/null 2>&1 || true
}
run_tsk() {
  tsk_recover -i raw "$image" "$work/tsk" >/dev/null 2>&1 || true
}


t0=$(date +%s.%N); run_ours; t1=$(date +%s.%N)
run_tsk; t2=$(date +%s.%N)
[ "$(sha256sum < "$image")" = "$before" ] || { echo "the image changed!" >&2; exit 1; }
read -r ours_identical ours_named < <(count_recovered "$work/ours" "$deleted")
read -r tsk_identical tsk_named < <(count_recovered "$work/tsk" "$deleted")

printf 'Deleted files on the card: %d\n\n' "$total"
printf '%-22s %12s %18s %10s\n' "tool" "identical" "original name" "seconds"
printf '%-22s %12d %18d %10.2f\n' "trellmond-cli" "$ours_identical" "$ours_named" "$(echo "$t1 - $t0" | bc)"
printf '%-22s %12d %18d %10.2f\n' "tsk_recover" "$tsk_identical" "$tsk_named" "$(echo "$t2 - $t1" | bc)"
if (( ours_identical >= tsk_identical && ours_named >= tsk_named )); then
  echo "ours >= tsk_recover: yes"
else
  echo "ours >= tsk_recover: NO"
  exit 1
fi
