#!/usr/bin/env bash
# Scale of the Undelete scan: a FAT32 image with 100,000 files (a third of them deleted)
# in 2,000 folders, listed by our scan (list only, --all) and by sleuthkit's fls -r -p.
# Prints the seconds and peak memory of each, side by side, best of three runs.
#
# Usage: bench/undelete-scale.sh [BUILD_DIR] [FOLDERS] [FILES_PER_FOLDER]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
folders="${2:-2000}"
per="${3:-50}"
cli="$build/cli/trellmond-cli"
[ -x "$cli" ] || { echo "build trellmond-cli first ($cli not found)" >&2; exit 1; }
command -v fls >/dev/null || { echo "fls (sleuthkit) is not installed" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "GNU time is not installed" >&2; exit 1; }

work="$(mktemp -d /tmp/trellmond-scale-XXXXXX)"
trap 'rm -rf "$work"' EXIT
export MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8
stage="$work/stage"
echo "Building the image: $folders folders x $per files..." >&2
for d in $(seq 1 "$folders"); do
  dir="$stage/Folder $((d / 100))/Album $d"
  mkdir -p "$dir"
  for f in $(seq 1 "$per"); do printf 'note %d %d\n' "$d" "$f" > "$dir/Holiday note $f.txt"; done
done
image="$work/many.img"
mkfs.fat -F 32 -s 1 -n MANY -C "$image" 262144 >/dev/null
(cd "$stage" && mcopy -s -i "$image" ./* ::/)
# A third of the files deleted.
(cd "$stage" && find . -type f -name 'Holiday note *.txt' | awk 'NR % 3 == 0 { sub(/^\.\//, "::/"); print }' |
  tr '\n' '\0' | xargs -0 -n 500 mdel -i "$image")
files=$((folders * per))

measure() {  # label, command... -> best seconds and peak KiB of three runs
  local label="$1"; shift
  local best_s="" best_kb=""
  for _ in 1 2 3; do
    /usr/bin/time -f '%e %M' -o "$work/time.txt" "$@" > "$work/out.txt" 2>/dev/null || true
    read -r s kb < "$work/time.txt"
    if [ -z "$best_s" ] || (( $(echo "$s < $best_s" | bc) )); then best_s=$s; fi
    if [ -z "$best_kb" ] || (( kb < best_kb )); then best_kb=$kb; fi
  done
  printf '%-34s %10.2f %14d   (%s)\n' "$label" "$best_s" "$best_kb" "$(tail -n 1 "$work/out.txt" | cut -c1-60)"
  echo "$best_s" > "$work/$label.s"
}

printf '%d files in %d folders, a third deleted; image %s\n\n' "$files" "$folders" "$(du -h "$image" | cut -f1)"
printf '%-34s %10s %14s\n' "tool" "seconds" "peak KiB"
measure "trellmond-cli scan --all" "$cli" scan "$image" --undelete --all
measure "fls -r -p" fls -r -p "$image"
ours=$(cat "$work/trellmond-cli scan --all.s")
theirs=$(cat "$work/fls -r -p.s")
printf '\nratio (fls / ours): %.2f\n' "$(echo "scale=4; $theirs / ($ours + 0.0001)" | bc)"
