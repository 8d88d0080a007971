#!/usr/bin/env bash
# Scale of the Undelete scan on NTFS: an image with at least RECORDS MFT records in use (files
# of a few bytes in thousands of folders, plus five deleted files per folder), listed by our
# scan (list only, --all: live files included) and by sleuthkit's fls -r -p. Prints, best of
# three runs each, the seconds, the MFT records decoded per second (every record of the $MFT
# over the seconds) and the peak memory, side by side, and the ratio.
#
# Usage: bench/ntfs-scale.sh [BUILD_DIR] [RECORDS]   (default 200000; needs root and /dev/fuse
#        for the ntfs-3g mount the image is filled through)
#        IMAGE=/path/file.ntfs keeps the image there and reuses it on the next run when it exists.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
records="${2:-200000}"
cli="$build/cli/trellmond-cli"
[ -x "$cli" ] || { echo "build trellmond-cli first ($cli not found)" >&2; exit 1; }
for tool in mkntfs ntfs-3g ntfsinfo ntfscat fls python3 bc; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed" >&2; exit 1; }
done
[ -x /usr/bin/time ] || { echo "GNU time is not installed" >&2; exit 1; }

work="$(mktemp -d /tmp/trellmond-ntfs-scale-XXXXXX)"
mnt="$work/mnt"
cleanup() { mountpoint -q "$mnt" && umount "$mnt"; rm -rf "$work"; }
trap cleanup EXIT
export LC_ALL=C.UTF-8
image="${IMAGE:-$work/many.ntfs}"

# 100 files a folder, 5 of them deleted afterwards: the live files alone reach RECORDS.
per=100
deleted_per=5
folders=$(( (records + per - deleted_per - 1) / (per - deleted_per) ))

# One writer over its share of the folders: "create" fills them, "delete" removes five files
# of each.
cat > "$work/fill.py" <<'PY'
import os, sys
mode, root, first, last, per, deleted = sys.argv[1], sys.argv[2], *map(int, sys.argv[3:7])
def folder(d): return f"{root}/Folder {d // 100}/Album {d}"
for d in range(first, last):
    path = folder(d)
    if mode == "delete":
        for f in range(0, per, per // deleted):
            os.unlink(f"{path}/Holiday photo {f}.jpg")
        continue
    os.makedirs(path, exist_ok=True)
    for f in range(per):
        fd = os.open(f"{path}/Holiday photo {f}.jpg", os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
        os.write(fd, b"photo %d %d\n" % (d, f))
        os.close(fd)
PY

build_image() {  # target file
  # The MFT takes about 1 KiB a record and the folder indexes a little more; ntfs-3g grows
  # the MFT past its reserved zone when needed, so a roomy sparse file is enough.
  local target="$1" mib=$(( records * 4 / 1024 + 256 )) half=$(( folders / 2 )) first second mode
  rm -f "$target"
  truncate -s "${mib}M" "$target"
  mkntfs -F -q -Q -c 4096 -L MANY "$target" >/dev/null 2>&1
  mkdir -p "$mnt"
  ntfs-3g -o noatime "$target" "$mnt" ||
    { echo "ntfs-3g cannot mount the image here (no usable /dev/fuse?)" >&2; exit 1; }
  # ntfs-3g serves one request at a time; two writers keep it busy while each waits on the
  # kernel. Deletions start once every file exists, so no freed record is handed out again.
  for mode in create delete; do
    python3 "$work/fill.py" "$mode" "$mnt" 0 "$half" "$per" "$deleted_per" &
    first=$!
    python3 "$work/fill.py" "$mode" "$mnt" "$half" "$folders" "$per" "$deleted_per" &
    second=$!
    wait "$first" && wait "$second"
  done
  umount "$mnt"
}

if [ -n "${IMAGE:-}" ] && [ -s "$image" ]; then
  echo "Reusing the image $image" >&2
else
  echo "Building the image: $folders folders x $per files, $deleted_per of each folder deleted..." >&2
  t0=$(date +%s.%N)
  build_image "$image.part"
  mv "$image.part" "$image"
  printf 'Image built in %.0f seconds\n' "$(echo "$(date +%s.%N) - $t0" | bc)" >&2
fi

# Counted from the $MFT itself: all its records (its size over the record size), those in
# use, and those with a FILE signature that are not in use (deleted or freed).
record_size=$(ntfsinfo -m "$image" 2>/dev/null | awk -F: '/MFT Record Size/ { gsub(/ /, "", $2); print $2 }')
read -r mft_records in_use not_in_use < <(ntfscat -i 0 "$image" 2>/dev/null | python3 -c '
import sys
size = int(sys.argv[1]); mft = sys.stdin.buffer.read(); n = len(mft) // size
heads = [mft[i * size:i * size + 24] for i in range(n)]
used = sum(1 for h in heads if h[:4] == b"FILE" and h[22] & 1)
free = sum(1 for h in heads if h[:4] == b"FILE" and not h[22] & 1)
print(n, used, free)' "$record_size")

measure() {  # label, command... -> best seconds and peak KiB of three runs
  local label="$1"; shift
  local best_s="" best_kb="" rate
  for _ in 1 2 3; do
    /usr/bin/time -f '%e %M' -o "$work/time.txt" "$@" > "$work/out.txt" 2>/dev/null || true
    read -r s kb < "$work/time.txt"
    if [ -z "$best_s" ] || (( $(echo "$s < $best_s" | bc) )); then best_s=$s; fi
    if [ -z "$best_kb" ] || (( kb < best_kb )); then best_kb=$kb; fi
  done
  rate=$(echo "scale=0; $mft_records / ($best_s + 0.005)" | bc)
  printf '%-28s %9.2f %16d %12d   (%d lines; last: %s)\n' "$label" "$best_s" "$rate" "$best_kb" \
    "$(grep -c . "$work/out.txt")" "$(tail -n 1 "$work/out.txt" | cut -c1-50)"
  echo "$best_s" > "$work/$label.s"
}

printf 'Image %s (%s on disk): %d MFT records of %d bytes, %d in use, %d not in use\n' \
  "$(basename "$image")" "$(du -h "$image" | cut -f1)" "$mft_records" "$record_size" "$in_use" "$not_in_use"
printf '%d folders x %d files, %d of each folder deleted\n\n' "$folders" "$per" "$deleted_per"
printf '%-28s %9s %16s %12s\n' "tool" "seconds" "records/second" "peak KiB"
measure "trellmond-cli scan --all" "$cli" scan "$image" --undelete --all
measure "fls -r -p" fls -r -p "$image"
ours=$(cat "$work/trellmond-cli scan --all.s")
theirs=$(cat "$work/fls -r -p.s")
printf '\nratio (fls seconds / ours): %.2f\n' "$(echo "scale=4; ($theirs + 0.005) / ($ours + 0.005)" | bc)"
if (( $(echo "$ours <= $theirs" | bc) )); then
  echo "ours is not slower than fls -r -p: yes"
else
  echo "ours is not slower than fls -r -p: NO"
  exit 1
fi
