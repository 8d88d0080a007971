#!/usr/bin/env bash
# Many deleted files of one name, as a dash camera's card holds after it reused its names:
# a FAT32 image with N deleted files that all come back as "x0000001.MOV" in one folder,
# scanned and saved by our command line. Prints the seconds of the list-only scan, of the
# scan and save, and how many distinct files the save wrote.
#
# No tool writes such a directory (a new file takes a deleted entry's place), so the files
# are written with distinct names by mtools, deleted by mdel, and each deleted entry's
# remaining seven name letters are then set alike in the image.
#
# Usage: bench/same-names.sh [BUILD_DIR] [FILES]   (default: build, 8000)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
count="${2:-8000}"
cli="$build/cli/trellmond-cli"
[ -x "$cli" ] || { echo "build trellmond-cli first ($cli not found)" >&2; exit 1; }

work="$(mktemp -d /tmp/trellmond-names-XXXXXX)"
trap 'rm -rf "$work"' EXIT
export MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8
stage="$work/stage"
mkdir -p "$stage"
echo "Building the image: $count files..." >&2
python3 - "$stage" "$count" <<'PY'
import os, sys
stage, count = sys.argv[1], int(sys.argv[2])
for i in range(count):
    with open(os.path.join(stage, "V%07d.MOV" % i), "wb") as f:
        f.write((b"clip %07d " % i) * 60)
PY
image="$work/dashcam.img"
mkfs.fat -F 32 -s 2 -n DASHCAM -C "$image" 131072 >/dev/null
mmd -i "$image" ::/DCIM
(cd "$stage" && find . -name '*.MOV' | sed 's|^\./||' | xargs -n 1000 sh -c 'mcopy -i "$0" "$@" ::/DCIM/' "$image")
mdel -i "$image" '::/DCIM/*.MOV'
python3 - "$image" <<'PY'
import sys
path = sys.argv[1]
data = bytearray(open(path, "rb").read())
edited = 0
for at in range(0, len(data), 32):
    entry = data[at:at + 32]
    if entry[0] == 0xE5 and entry[8:11] == b"MOV" and entry[1:8].isdigit():
        data[at + 1:at + 8] = b"0000001"
        edited += 1
open(path, "wb").write(data)
print("deleted entries given one name:", edited, file=sys.stderr)
PY

out="$work/out"
timed() {  # command... -> wall seconds; its standard output in $work/run.out
  /usr/bin/time -f '%e' -o "$work/time.txt" "$@" >"$work/run.out" 2>/dev/null || true
  cat "$work/time.txt"
}
list_s=$(timed "$cli" scan "$image")
listed=$(tail -n 1 "$work/run.out")
save_s=$(timed "$cli" scan "$image" --out "$out")
saved=$(tail -n 1 "$work/run.out")
written=$(find "$out" -type f | wc -l)
distinct=$(find "$out" -type f -exec md5sum {} + | cut -d' ' -f1 | sort -u | wc -l)
printf '%d deleted files of one name in one folder (image %s)\n' "$count" "$(du -h "$image" | cut -f1)"
printf '  %-26s %8s s   %s\n' "scan, list only" "$list_s" "$listed"
printf '  %-26s %8s s   %s\n' "scan and save" "$save_s" "$saved"
printf '  %-26s %8d (%d distinct contents)\n' "files written" "$written" "$distinct"
