#!/usr/bin/env bash
# How often each scan opens its source and how many bytes it reads from it. Under strace, for
# an Undelete scan and save of a FAT16 card, of a FAT32 card and of an NTFS image (each holding
# deleted files), and for a quick and a thorough Low Level Scan of the FAT16 card: the opens of
# the image, the bytes read from it, the distinct bytes among them (what the scan needs: each
# byte it looks at, once), and the ratio of the two. Goals: one open per scan, ratio <= 1.1.
#
# Usage: bench/source-reads.sh [BUILD_DIR]     (KEEP=1 keeps the work folder)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
cli="$build/cli/trellmond-cli"
[ -x "$cli" ] || { echo "build trellmond-cli first ($cli not found)" >&2; exit 1; }
for tool in strace mkfs.fat mcopy mdel mkntfs ntfscp python3; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed" >&2; exit 1; }
done

work="$(mktemp -d /tmp/trellmond-source-reads-XXXXXX)"
[ -n "${KEEP:-}" ] || trap 'rm -rf "$work"' EXIT
export MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8
source "$root/bench/card-files.sh"
stage="$work/stage"
mapfile -t files < <(fill_card "$stage" jpg doc 20000 DCIM | head -n 24)
# The committed samples too (one per catalogue type): the Low Level Scan carves them.
mkdir -p "$stage/Samples"
for sample in "$root"/tests/data/samples/sample.*; do
  cp "$sample" "$stage/Samples/"
  files+=("Samples/$(basename "$sample")")
done

fat_card() {  # IMAGE SIZE_MIB FAT_BITS: a card with the staged files, every other one deleted
  truncate -s "$2M" "$1"
  mkfs.fat -F "$3" -n CARD "$1" >/dev/null
  mmd -i "$1" ::/DCIM ::/Samples
  local i=0
  for rel in "${files[@]}"; do mcopy -i "$1" "$stage/$rel" "::/$rel"; done
  for rel in "${files[@]}"; do
    i=$((i + 1))
    (( i % 2 == 0 )) && mdel -i "$1" "::/$rel"
  done
  return 0
}

# NTFS: copied in and every other file deleted through an ntfs-3g mount; without /dev/fuse the
# files go in by ntfscp and stay live, and the scan lists them all (--all: the same reads).
ntfs_all=""
ntfs_image() {  # IMAGE
  truncate -s 64M "$1"
  mkntfs -F -q -Q -L CARD "$1" >/dev/null 2>&1
  local mnt="$work/mnt" i=0
  mkdir -p "$mnt"
  if ntfs-3g "$1" "$mnt" 2>/dev/null; then
    for rel in "${files[@]}"; do mkdir -p "$mnt/$(dirname "$rel")"; cp "$stage/$rel" "$mnt/$rel"; done
    for rel in "${files[@]}"; do
      i=$((i + 1))
      (( i % 2 == 0 )) && rm "$mnt/$rel"
    done
    umount "$mnt"
  else
    for rel in "${files[@]}"; do ntfscp -f "$1" "$stage/$rel" "$(basename "$rel")" >/dev/null 2>&1; done
    ntfs_all="--all"
  fi
  return 0
}

echo "Making the images..." >&2
fat_card "$work/fat16.img" 64 16
fat_card "$work/fat32.img" 256 32
ntfs_image "$work/ntfs.img"

# LABEL IMAGE ARGS...: runs the CLI on IMAGE under strace and prints the figures.
measure() {
  local label="$1" image="$2"
  shift 2
  rm -rf "$work/out"
  strace -f -y -qq -e trace=openat,open,read,pread64,preadv,preadv2 -o "$work/trace.txt" \
    "$cli" scan "$image" "$@" > /dev/null 2>&1 || true
  python3 - "$work/trace.txt" "$(realpath "$image")" "$label" <<'EOF'
import re, sys
trace, image, label = sys.argv[1], sys.argv[2], sys.argv[3]
opens = 0
total = 0
ranges = []
call = re.compile(r'^\d+\s+(\w+)\((.*)\)\s+=\s+(-?\d+)')
for line in open(trace, errors='replace'):
    m = call.match(line)
    if not m:
        continue
    name, args, result = m.group(1), m.group(2), int(m.group(3))
    if name in ('openat', 'open'):
        if result >= 0 and ('"' + image + '"') in args:
            opens += 1
        continue
    if not args.startswith(tuple(str(n) + '<' + image + '>' for n in range(1024))) or result <= 0:
        continue
    total += result
    if name == 'pread64':
        offset = int(args.rsplit(',', 1)[1])
        ranges.append((offset, offset + result))
    else:
        ranges.append((None, result))
distinct = 0
end = -1
for start, stop in sorted(r for r in ranges if r[0] is not None):
    if stop > end:
        distinct += stop - max(start, end)
        end = stop
distinct += sum(n for s, n in ranges if s is None)
ratio = total / distinct if distinct else 0
print(f'{label:<34} {opens:>6} {total:>14} {distinct:>14} {ratio:>7.2f}')
EOF
}

printf '%-34s %6s %14s %14s %7s\n' "scan" "opens" "bytes read" "bytes needed" "ratio"
measure "Undelete + save, FAT16 64 MiB" "$work/fat16.img" --undelete --out "$work/out"
measure "Undelete + save, FAT32 256 MiB" "$work/fat32.img" --undelete --out "$work/out"
measure "Undelete + save, NTFS 64 MiB" "$work/ntfs.img" --undelete $ntfs_all --out "$work/out"
measure "Low Level quick, FAT16 64 MiB" "$work/fat16.img" --low
measure "Low Level thorough, FAT16 64 MiB" "$work/fat16.img" --low --thorough
