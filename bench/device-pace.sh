#!/usr/bin/env bash
# The Low Level Scan at the pace of the device: a camera card image (12-megapixel
# Exif photos, bench/camera-card.sh) served by a FUSE file that reads at about
# 100 MB/s, as a card reader does (tests/support/faulty_file.py --rate). Prints
# the time dd takes to read the whole file at that pace, the time trellmond-cli's
# quick and thorough Low Level Scans (all catalogue types, no saving) take on it
# with one thread and with all, and each scan's time over dd's: at most 1.05 means
# the scan is as fast as the device.
# Usage: bench/device-pace.sh [BUILD_DIR]   (default: build)
#   PACE_CARD_MIB (default 1024), PACE_RATE in MB/s (default 100).
set -euo pipefail

here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build}"
cli="$build/cli/trellmond-cli"
[ -x "$cli" ] || { echo "no $cli: build first (cmake --build $build --target trellmond-cli)" >&2; exit 1; }
for tool in python3 convert mkfs.fat mcopy mmd fusermount dd nproc; do
  command -v "$tool" >/dev/null || { echo "missing $tool (scripts/install-deps.sh installs it)" >&2; exit 1; }
done
# Debian's python3-fusepy belongs to the system's interpreter.
/usr/bin/python3 -c 'import fusepy' 2>/dev/null || /usr/bin/python3 -c 'import fuse' 2>/dev/null ||
  { echo "missing python3-fusepy (scripts/install-deps.sh installs it)" >&2; exit 1; }
work="$(mktemp -d)"
mnt="$work/mnt"
mkdir -p "$mnt"
cleanup() {
  fusermount -u "$mnt" 2>/dev/null || true
  [ -n "${fuse_pid:-}" ] && wait "$fuse_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
card_mib="${PACE_CARD_MIB:-1024}"
rate="${PACE_RATE:-100}"

. "$here/bench/camera-card.sh"
make_camera_card "$work/card.img" "$card_mib" "$work/card"
/usr/bin/python3 "$here/tests/support/faulty_file.py" "$work/card.img" "$mnt" --rate "$rate" &
fuse_pid=$!
for _ in $(seq 1 100); do [ -e "$mnt/card.img" ] && break; sleep 0.1; done
[ -e "$mnt/card.img" ] || { echo "the FUSE card did not appear" >&2; exit 1; }
cat "$work/card.img" >/dev/null  # the backing file from memory: only the FUSE pace counts

types="$(cut -d';' -f1 "$here/service/data/catalogue/overview-low.txt" | paste -sd, -)"
seconds() {  # command...: wall seconds
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null 2>"$work/last.log" || { echo "failed: $*" >&2; cat "$work/last.log" >&2; exit 1; }
  end=$(date +%s.%N)
  python3 -c "print(f'{$end - $start:.2f}')"
}
dd_time=$(seconds dd if="$mnt/card.img" of=/dev/null bs=4M)
size=$(stat -c %s "$work/card.img")
printf '%-22s%9s%10s%12s\n' "run" "seconds" "MB/s" "over dd"
printf '%-22s%9s%10.0f%12s\n' "dd bs=4M" "$dd_time" "$(python3 -c "print($size / 1e6 / $dd_time)")" "1.00"
for threads in 1 all; do
  n=$([ "$threads" = all ] && nproc || echo 1)
  for scan in quick thorough; do
    extra=()
    [ "$scan" = thorough ] && extra=(--thorough)
    t=$(seconds env TRELLMOND_THREADS="$n" "$cli" scan "$mnt/card.img" --low "${extra[@]}" --types "$types")
    printf '%-22s%9s%10.0f%12.2f\n' "ours $scan, threads $threads" "$t" "$(python3 -c "print($size / 1e6 / $t)")" \
      "$(python3 -c "print($t / $dd_time)")"
  done
done
echo "card: $((size >> 20)) MiB, $(wc -l < "$work/card.img.originals") photos, served at $rate MB/s; all threads: $(nproc)"
