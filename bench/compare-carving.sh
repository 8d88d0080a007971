#!/usr/bin/env bash
# Carving side by side on two images, in one run:
#  - card: a 2 GiB FAT32 camera card of 12-megapixel Exif photos that carry
#    thumbnails, quick-formatted again with mkfs.fat (bench/camera-card.sh);
#  - raw: random data with the committed sample files (one per catalogue type)
#    laid in twice, at cluster starts and at odd offsets.
# Each is scanned by trellmond-cli's quick and thorough Low Level Scans (all
# catalogue types, saving) on one thread (TRELLMOND_THREADS=1) and on all,
# photorec (batch mode) and foremost. For each tool it
# prints the files recovered byte-identical, the false files (matching no
# original, neither whole nor as a start), the bytes written with their ratio to
# the bytes of the identical files, and MB/s; and how often our thorough scan
# read each image (bytes read by the process over the image size), how many
# times faster than photorec each run was, and whether one thread and all saved
# the same files with the same bytes.
# Usage: bench/compare-carving.sh [BUILD_DIR]   (default: build)
set -euo pipefail

here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build}"
cli="$build/cli/trellmond-cli"
[ -x "$cli" ] || { echo "no $cli: build first (cmake --build $build --target trellmond-cli)" >&2; exit 1; }
for tool in photorec foremost python3 convert mkfs.fat mcopy mmd nproc; do
  command -v "$tool" >/dev/null || { echo "missing $tool (scripts/install-deps.sh installs it)" >&2; exit 1; }
done
work="$(mktemp -d)"
# CARVE_KEEP=1 keeps the images and every tool's output for a closer look.
if [ "${CARVE_KEEP:-0}" = 1 ]; then echo "work folder: $work"; else trap 'rm -rf "$work"' EXIT; fi
card_mib="${CARVE_CARD_MIB:-2048}"
raw_mib="${CARVE_RAW_MIB:-256}"

# --- The camera card ------------------------------------------------------------
. "$here/bench/camera-card.sh"
make_camera_card "$work/card.img" "$card_mib" "$work/card"
mv "$work/card.img.originals" "$work/card.originals"

# --- The raw image ----------------------------------------------------------------
python3 - "$here" "$work" "$raw_mib" <<'PY'
import os, random, sys
here, work, size_mib = sys.argv[1], sys.argv[2], int(sys.argv[3])
samples = sorted(os.path.join(here, 'tests/data/samples', n) for n in os.listdir(os.path.join(here, 'tests/data/samples')))
random.seed(2024)
size = size_mib << 20
image = bytearray(os.urandom(size))
order = samples + samples
random.shuffle(order)
gap = size // (len(order) + 1)
for n, path in enumerate(order):
    data = open(path, 'rb').read()
    at = (n + 1) * gap // 4096 * 4096
    if n % 2:
        at += random.randrange(1, 4096)  # an odd offset: only a thorough scan can find it
    image[at:at + len(data)] = data
open(os.path.join(work, 'raw.img'), 'wb').write(image)
open(os.path.join(work, 'raw.originals'), 'w').write('\n'.join(order) + '\n')
PY

types="$(cut -d';' -f1 "$here/service/data/catalogue/overview-low.txt" | paste -sd, -)"
run() {  # image, tool, command...: times the command; its output folder is $work/out-<image>-<tool>
  local image="$1" name="$2"; shift 2
  local start end
  # Pending writes are flushed first: no tool pays for another's writeback.
  sync
  start=$(date +%s.%N)
  "$@" >"$work/$image-$name.log" 2>&1 || echo "$image $name exited with $?" >&2
  end=$(date +%s.%N)
  echo "$image $name $(python3 -c "print($end - $start)")" >>"$work/times.txt"
}
# Bytes the thorough scan read, from the kernel's count for the process.
read_bytes() {  # image: prints rchar of a thorough scan without saving
  python3 - "$cli" "$work/$1.img" "$types" <<'PY'
import subprocess, sys, os
p = subprocess.Popen([sys.argv[1], 'scan', sys.argv[2], '--low', '--thorough', '--types', sys.argv[3]],
                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
rchar = 0
while p.poll() is None:
    try:
        rchar = int(open(f'/proc/{p.pid}/io').read().split()[1])
    except (OSError, ValueError, IndexError):
        pass
print(rchar)
PY
}
for image in card raw; do
  cat "$work/$image.img" >/dev/null  # page cache for everyone
  for threads in 1 all; do
    setting=(env TRELLMOND_THREADS="$([ "$threads" = all ] && nproc || echo 1)")
    run "$image" "ours-quick-$threads" "${setting[@]}" "$cli" scan "$work/$image.img" --low --types "$types" \
      --out "$work/out-$image-ours-quick-$threads"
    run "$image" "ours-thorough-$threads" "${setting[@]}" "$cli" scan "$work/$image.img" --low --thorough \
      --types "$types" --out "$work/out-$image-ours-thorough-$threads"
  done
  mkdir -p "$work/pr-$image" "$work/out-$image-photorec" && (cd "$work/pr-$image" &&
    run "$image" photorec photorec /log /d "$work/out-$image-photorec/recup" /cmd "$work/$image.img" \
      partition_none,fileopt,everything,enable,search)
  run "$image" foremost foremost -Q -t all -i "$work/$image.img" -o "$work/out-$image-foremost"
  echo "$image $(read_bytes "$image")" >>"$work/reads.txt"
done

python3 - "$work" <<'PY'
import hashlib, os, sys
work = sys.argv[1]
times = {}
for line in open(os.path.join(work, 'times.txt')):
    image, tool, seconds = line.split()
    times[(image, tool)] = float(seconds)
reads = dict(line.split() for line in open(os.path.join(work, 'reads.txt')))
print(f"{'image':<6}{'tool':<19}{'identical':>10}{'of':>5}{'false':>7}{'MB written':>12}{'ratio':>7}{'MB/s':>8}"
      f"{'x photorec':>11}")


def listing(folder):
    out = {}
    for base, _, files in os.walk(folder):
        for name in files:
            if name.endswith('.xml') or name.endswith('.json'):
                continue
            path = os.path.join(base, name)
            out[os.path.relpath(path, folder)] = hashlib.sha256(open(path, 'rb').read()).hexdigest()
    return out


for image in ['card', 'raw']:
    originals = [p for p in open(os.path.join(work, image + '.originals')).read().split('\n') if p]
    wanted = {}
    starts = []
    for path in originals:
        data = open(path, 'rb').read()
        digest = hashlib.sha256(data).hexdigest()
        wanted.setdefault(digest, [0, len(data)])[0] += 1
        starts.append(data[:4096])
    size = os.path.getsize(os.path.join(work, image + '.img'))
    for tool in ['ours-quick-1', 'ours-quick-all', 'ours-thorough-1', 'ours-thorough-all', 'photorec', 'foremost']:
        found, false_files, written, identical_bytes = {}, 0, 0, 0
        for folder, _, files in os.walk(os.path.join(work, f'out-{image}-{tool}')):
            for name in files:
                if name in ('report.xml', 'audit.txt') or name.endswith('.log'):
                    continue
                data = open(os.path.join(folder, name), 'rb').read()
                written += len(data)
                digest = hashlib.sha256(data).hexdigest()
                if digest in wanted and found.get(digest, 0) < wanted[digest][0]:
                    found[digest] = found.get(digest, 0) + 1
                    identical_bytes += len(data)
                elif digest not in wanted and not any(data.startswith(s) for s in starts):
                    false_files += 1
        identical = sum(found.values())
        ratio = written / identical_bytes if identical_bytes else float('inf')
        mbs = size / 1e6 / times[(image, tool)]
        pace = times[(image, 'photorec')] / times[(image, tool)]
        print(f"{image:<6}{tool:<19}{identical:>10}{len(originals):>5}{false_files:>7}{written / 1e6:>12.2f}"
              f"{ratio:>7.2f}{mbs:>8.0f}{pace:>11.2f}")
    print(f"{image:<6}ours-thorough read the image {int(reads[image]) / size:.2f} times")
    for scan in ['quick', 'thorough']:
        one = listing(os.path.join(work, f'out-{image}-ours-{scan}-1'))
        every = listing(os.path.join(work, f'out-{image}-ours-{scan}-all'))
        verdict = 'the same files, byte-identical' if one == every else 'DIFFERENT files'
        print(f"{image:<6}ours-{scan}: one thread and all saved {verdict} ({len(one)} / {len(every)})")
print('identical: originals recovered byte for byte; false: files matching no original, whole or as a start;')
print('ratio: bytes written over the bytes of the identical files; MB/s: image size over wall time, saving included;')
print(f'x photorec: photorec\'s time over the run\'s; all threads: {os.cpu_count()} on this machine.')
PY
