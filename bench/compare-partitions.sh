#!/usr/bin/env bash
# Whole disks and card images with partition tables (tests/support/make-partition-disks.sh makes
# them: MBR with one and three partitions, GPT with an EFI and a data partition, a GPT disk of
# 4096-byte sectors, a wiped MBR, a wiped table whose FAT32 volume keeps only its backup boot
# sector, hostile MBR and GPT tables). Per volume, the deleted files each tool brings back:
#   trellmond-cli      given the disk alone (`scan disk.img`, with --partition N where it holds several)
#   tsk_recover -o N   given the volume's offset by hand (and its sector size)
#   tsk_recover        given the disk alone
#   photorec           the whole disk carved (byte-identical files only: it keeps no names)
# Prints the deleted files recovered byte-identical and those under their original path. Ours
# must reach tsk_recover given the right offset on every volume (and pass it where only a backup
# boot sector is left), and be above every peer given the disk alone on the wiped tables.
#
# Usage: bench/compare-partitions.sh [BUILD_DIR]     (needs root: a loop device and ntfs-3g)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
cli="$build/cli/trellmond-cli"
[ -x "$cli" ] || { echo "build trellmond-cli first ($cli not found)" >&2; exit 1; }
for tool in tsk_recover photorec sfdisk mkntfs ntfs-3g mcopy; do
  command -v "$tool" >/dev/null || { echo "missing $tool (scripts/install-deps.sh installs it)" >&2; exit 1; }
done
work="$(mktemp -d /tmp/trellmond-partitions-XXXXXX)"
[ -n "${KEEP:-}" ] || trap 'rm -rf "$work"' EXIT
source "$root/bench/card-files.sh"

"$root/tests/support/make-partition-disks.sh" "$work/disks" >/dev/null
declare -A volumes=()
while IFS=$'\t' read -r disk _ _ _ _ _ _; do volumes[$disk]=$((${volumes[$disk]:-0} + 1)); done < "$work/disks/manifest.tsv"

# The peers that take the whole disk run once per disk.
for disk in "${!volumes[@]}"; do
  img="$work/disks/$disk.img"
  tsk_recover -i raw "$img" "$work/$disk-tsk" >/dev/null 2>&1 || true
  mkdir -p "$work/$disk-tsk" "$work/$disk-pr" "$work/$disk-photorec"
  (cd "$work/$disk-pr" && photorec /log /d "$work/$disk-photorec/recup" /cmd "$img" \
    partition_none,fileopt,everything,enable,search >/dev/null 2>&1) || true
done

status=0
row() { printf '%-12s %3s  %-22s %8s %10s %15s\n' "$@"; }
row disk vol tool deleted identical "original path"
while IFS=$'\t' read -r disk part offset sector vol list wiped; do
  d="$work/disks"
  tag="$disk-$part"
  total=$(wc -l < "$d/$list")
  args=(scan "$d/$disk.img" --undelete --out "$work/$tag-ours")
  (( ${volumes[$disk]} > 1 )) && args+=(--partition "$part")
  "$cli" "${args[@]}" >/dev/null 2>&1 || true
  tsk_recover -i raw -b "$sector" -o $((offset / sector)) "$d/$disk.img" "$work/$tag-tsko" >/dev/null 2>&1 || true
  mkdir -p "$work/$tag-ours" "$work/$tag-tsko"
  read -r oi on < <(count_recovered "$work/$tag-ours" "$d/$list")
  read -r ti tn < <(count_recovered "$work/$tag-tsko" "$d/$list")
  read -r ni nn < <(count_recovered "$work/$disk-tsk" "$d/$list")
  read -r pi _ < <(count_recovered "$work/$disk-photorec" "$d/$list")
  row "$disk" "$part" "trellmond-cli" "$total" "$oi" "$on"
  row "" "" "tsk_recover -o $((offset / sector))" "$total" "$ti" "$tn"
  row "" "" "tsk_recover" "$total" "$ni" "$nn"
  row "" "" "photorec" "$total" "$pi" "-"
  if (( oi < ti || on < tn )); then
    echo "$tag: ours below tsk_recover given the offset"; status=1
  fi
  if [ "$wiped" = yes ] && ! (( oi > ni && oi > pi && on > nn )); then
    echo "$tag: ours not above every peer given the disk alone"; status=1
  fi
done < "$work/disks/manifest.tsv"
echo
if (( status == 0 )); then
  echo "ours >= tsk_recover given the offset on every volume, and above every peer on the wiped tables: yes"
else
  echo "ours >= tsk_recover given the offset on every volume, and above every peer on the wiped tables: NO"
fi
exit $status
