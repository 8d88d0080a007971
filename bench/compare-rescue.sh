#!/usr/bin/env bash
# Our `image` and GNU ddrescue on the same failing card: a 64 MiB FAT32 card with photos,
# served by tests/support/faulty_file.py under FUSE with bad ranges in the FAT, in the root
# directory and inside photos, and slow sectors. Prints rescued bytes, bad areas and seconds
# for each; ours must rescue as many bytes and take no longer than 1.2 times ddrescue.
#
# Usage: bench/compare-rescue.sh [BUILD_DIR]     (needs /dev/fuse, python3-fusepy, gddrescue)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
cli="$build/cli/trellmond-cli"
[ -x "$cli" ] || { echo "build trellmond-cli first ($cli not found)" >&2; exit 1; }
for tool in ddrescue ddrescuelog mkfs.fat mcopy fusermount3; do
  command -v "$tool" >/dev/null || { echo "missing $tool (scripts/install-deps.sh installs it)" >&2; exit 1; }
done
[ -w /dev/fuse ] || { echo "/dev/fuse is not available: the failing card needs FUSE" >&2; exit 1; }
work="$(mktemp -d /tmp/trellmond-rescue-XXXXXX)"
cleanup() { fusermount3 -u "$work/mnt" 2>/dev/null || true; [ -n "${KEEP:-}" ] || rm -rf "$work"; }
trap cleanup EXIT

card="$work/card.img"
truncate -s 64M "$card"
mkfs.fat -F 32 -n CARD "$card" >/dev/null
for i in $(seq 1 40); do
  head -c $((300000 + i * 7919)) /dev/urandom > "$work/IMG_$i.JPG"
  mcopy -i "$card" "$work/IMG_$i.JPG" ::/
done
# The layout from the boot sector: the FAT, the root directory's first cluster, the data.
read -r fat rootdir <<<"$(python3 - "$card" <<'PY'
import struct, sys
b = open(sys.argv[1], 'rb').read(512)
bps, spc, reserved, fats = struct.unpack_from('<HBHB', b, 11)
fatsz, rootclus = struct.unpack_from('<I', b, 36)[0], struct.unpack_from('<I', b, 44)[0]
data = reserved + fats * fatsz
print(reserved + 2, data + (rootclus - 2) * spc)
PY
)"
sectors=$((64 * 2048))
mkdir "$work/mnt"
/usr/bin/python3 "$root/tests/support/faulty_file.py" "$card" "$work/mnt" \
  --bad "$fat:4" --bad "$rootdir:1" --bad "$((rootdir + 3000)):40" --bad "$((rootdir + 20000)):1" \
  --bad "$((rootdir + 50000)):300" --bad "$((sectors - 8)):8" \
  --slow "$((rootdir + 30000)):16:0.05" &
for _ in $(seq 1 100); do [ -e "$work/mnt/card.img" ] && break; sleep 0.05; done

run() {  # name, image, command...
  local name="$1" image="$2"; shift 2
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null 2>&1 || true
  end=$(date +%s.%N)
  local rescued bad
  rescued=$(($(ddrescuelog -b512 -l+ "$image.map" | wc -l) * 512))
  bad="$(ddrescuelog --show-status "$image.map" | sed -nE 's/.*bad-sector:.* in +([0-9]+) area.*/\1/p')"
  printf '%-12s rescued %10s bytes  bad areas %4s  %6.2f s\n' "$name" "$rescued" "$bad" "$(echo "$end - $start" | bc)"
}
run trellmond "$work/ours.img" "$cli" image "$work/mnt/card.img" "$work/ours.img"
run ddrescue "$work/theirs.img" ddrescue -q "$work/mnt/card.img" "$work/theirs.img" "$work/theirs.img.map"
