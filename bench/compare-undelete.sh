#!/usr/bin/env bash
# Side by side: our Undelete scan and sleuthkit's tsk_recover on the same FAT images. One image
# per case:
#   card-fat32       a camera-and-documents card, a few hundred live and deleted files in folders;
#   longnames-fat32  a folder of 200 long names on 512-byte clusters, every 4th file deleted, so
#                    many long-name sets are split across two directory clusters;
#   folders-fat12/16/32  nested folders with long names deleted whole with mdeltree, one of them
#                    grown over several clusters in a row before its files were written;
#   deep-fat16       a tree 40 folders deep with files on the way down, deleted whole;
#   sectors-2048/4096  FAT16 on 2048- and 4096-byte sectors (mkfs.fat -S), files in folders, every
#                    other one deleted;
#   windows-folder-fat16  a folder deleted as Windows XP leaves it: its entries marked deleted with a
#                    size in the short entry, its clusters and its files' freed in both FATs, the entries
#                    of the files inside untouched (mtools cannot delete so; the bytes are set by hand).
#                    One file inside was written around a sibling, so it lies in two pieces;
#   interleaved-fat16  pairs of photos written at once, their clusters in turns (mtools allocates the
#                    first free clusters, so placeholders deleted in turn before each photo lay them out
#                    so), and a file grown around two others, all deleted;
#   dated-2040       deleted files dated 2040: saved with that date (checked for ours).
# Prints, per image and tool, the deleted files recovered byte-identical and those recovered
# byte-identical under their original path and name, exactly as spelt, and the seconds taken.
# Ours must reach the best peer on both counts on every image, and pass it on the deleted-folder,
# Windows-folder and interleaved images.
#
# Usage: bench/compare-undelete.sh [BUILD_DIR]     (KEEP=1 keeps the work folder)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
cli="$build/cli/trellmond-cli"
[ -x "$cli" ] || { echo "build trellmond-cli first ($cli not found)" >&2; exit 1; }
command -v tsk_recover >/dev/null || { echo "tsk_recover (sleuthkit) is not installed" >&2; exit 1; }

work="$(mktemp -d /tmp/trellmond-compare-XXXXXX)"
[ -n "${KEEP:-}" ] || trap 'rm -rf "$work"' EXIT
export MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8
source "$root/bench/card-files.sh"

# note IMAGE PATH SIZE LIST: a file put on the image, random bytes or, for a .jpg, a picture
# that decodes; LIST remembers it (as deleted later) unless LIST is "-".
note() {
  local image="$1" rel="$2" size="$3" list="$4"
  case "$rel" in
    *.jpg) make_jpeg "$size" "$work/f" ;;
    *) head -c "$size" /dev/urandom > "$work/f" ;;
  esac
  mcopy -o -i "$image" "$work/f" "::/$rel"
  [ "$list" = "-" ] || printf '%s\t%s\n' "$(sha256sum < "$work/f" | cut -c1-64)" "$rel" >> "$list"
}

make_card() {  # IMAGE LIST
  local stage="$work/stage" i=0 f rel
  rm -rf "$stage"; mkdir -p "$stage"
  fill_card "$stage" JPG doc 1000 "DCIM/100CANON" "DCIM/101CANON" "Holiday 2005/Beach" "Holiday 2005/Mountains" \
    "Documents/Letters" "Documents/Tax returns" "Music/Old songs" "Misc" >/dev/null
  mkfs.fat -F 32 -s 2 -n CARD -C "$1" 131072 >/dev/null
  (cd "$stage" && mcopy -s -i "$1" ./* ::/)
  # Delete every other file.
  while IFS= read -r -d '' f; do
    i=$((i + 1))
    rel="${f#"$stage"/}"
    if (( i % 2 == 0 )); then
      mdel -i "$1" "::/$rel"
      printf '%s\t%s\n' "$(sha256sum < "$f" | cut -c1-64)" "$rel" >> "$2"
    fi
  done < <(find "$stage" -type f -print0 | sort -z)
}

make_longnames() {  # IMAGE LIST
  local i list
  mkfs.fat -F 32 -s 1 -n CARD -C "$1" 65536 >/dev/null
  mmd -i "$1" "::/Viele Dateien"
  for i in $(seq 1 200); do
    if (( i % 4 == 0 )); then list="$2"; else list=-; fi
    note "$1" "Viele Dateien/Datei Nummer $i.txt" $((1000 + i * 37)) "$list"
  done
  for i in $(seq 4 4 200); do mdel -i "$1" "::/Viele Dateien/Datei Nummer $i.txt"; done
}

make_folders() {  # IMAGE LIST FATBITS KIB
  local i list
  mkfs.fat -F "$3" -s 1 -n CARD -C "$1" "$4" >/dev/null
  mmd -i "$1" "::/Projekt Alt" "::/Projekt Alt/Viele Notizen"
  # Empty files grow the folder over clusters in a row; the notes then take their places.
  : > "$work/empty"
  for i in $(seq 1 40); do mcopy -i "$1" "$work/empty" "::/Projekt Alt/Viele Notizen/platz $i"; done
  for i in $(seq 1 40); do mdel -i "$1" "::/Projekt Alt/Viele Notizen/platz $i"; done
  for i in $(seq 1 20); do note "$1" "Projekt Alt/Viele Notizen/Notiz Nummer $i.txt" $((900 + i * 50)) "$2"; done
  mmd -i "$1" "::/Projekt Alt/Jahr 2004" "::/Projekt Alt/Jahr 2004/Quartal vier" "::/Fotos vom Urlaub" \
    "::/Fotos vom Urlaub/Am Strand" "::/Fotos vom Urlaub/In den Bergen" "::/Bleibt"
  note "$1" "Projekt Alt/Jahr 2004/Quartal vier/Bericht final.txt" 5000 "$2"
  note "$1" "Projekt Alt/Jahr 2004/Übersicht der Zahlen.xls" 7000 "$2"
  note "$1" "Projekt Alt/Notiz zum Projekt.txt" 800 "$2"
  for i in $(seq 1 6); do
    note "$1" "Fotos vom Urlaub/Am Strand/Summer trip $i.jpg" $((3000 + i * 700)) "$2"
    note "$1" "Fotos vom Urlaub/In den Bergen/Gipfel Nummer $i.dat" $((2000 + i * 300)) "$2"
  done
  note "$1" "Bleibt/live.txt" 1000 -
  mdeltree -i "$1" "::/Projekt Alt" "::/Fotos vom Urlaub"
}

make_deep() {  # IMAGE LIST
  local level path=""
  mkfs.fat -F 16 -n CARD -C "$1" 16384 >/dev/null
  for level in $(seq 1 40); do
    path="$path/Ebene $level"
    mmd -i "$1" "::$path"
    if (( level % 10 == 0 )); then note "$1" "${path#/}/Datei auf Ebene $level.txt" $((level * 100)) "$2"; fi
  done
  mdeltree -i "$1" "::/Ebene 1"
}

make_sectors() {  # IMAGE LIST SECTOR_SIZE
  local i rel list
  mkfs.fat -F 16 -S "$3" -n CARD -C "$1" 65536 >/dev/null
  mmd -i "$1" "::/Fotos" "::/Fotos/Sommer" "::/Briefe"
  for i in $(seq 1 30); do
    case $((i % 3)) in
      0) rel="Fotos/Sommer/Bild $i.jpg" ;;
      1) rel="Fotos/Foto Nummer $i.jpg" ;;
      2) rel="Briefe/Brief an Anna $i.txt" ;;
    esac
    if (( i % 2 == 0 )); then list="$2"; else list=-; fi
    note "$1" "$rel" $((3000 + i * 4111)) "$list"
    [ "$list" = - ] || deleted_later+=("$rel")
  done
  for rel in "${deleted_later[@]}"; do mdel -i "$1" "::/$rel"; done
  deleted_later=()
}
deleted_later=()

# Placeholders go into the folder /T, made first; at the end it is deleted and a small live file
# takes its cluster, so no stale entry of a placeholder is left to claim clusters.
placeholder() { head -c $(($3 * 2048 - 100)) /dev/urandom > "$work/p"; mcopy -i "$1" "$work/p" "::/T/$2"; }
cover_placeholders() { mdeltree -i "$1" ::/T; printf x > "$work/p"; mcopy -i "$1" "$work/p" ::/cover.txt; }

# clusters IMAGE PATH: the clusters of a file or folder, one a line.
clusters() {
  mshowfat -i "$1" "::/$2" | grep -o '<[0-9-]*>' | tr -d '<>' | while IFS=- read -r a b; do
    seq "$a" "${b:-$a}"
  done
}

make_windows_folder() {  # IMAGE LIST
  local i rel freed
  mkfs.fat -F 16 -s 4 -n CARD -C "$1" 32768 >/dev/null
  mmd -i "$1" ::/T "::/Urlaub 2005"
  for i in 1 2 3 4 5 6; do note "$1" "Urlaub 2005/Strand Nummer $i.txt" $((2000 + i * 3100)) "$2"; done
  placeholder "$1" hole 2
  note "$1" "Urlaub 2005/Abendessen.txt" 5000 "$2"
  mdel -i "$1" ::/T/hole
  note "$1" "Urlaub 2005/Gewachsen am Abend.txt" 9000 "$2"  # two clusters, then past its sibling
  note "$1" "live.txt" 3000 -
  freed="$(clusters "$1" "Urlaub 2005"; while IFS= read -r rel; do clusters "$1" "$rel"; done \
    < <(cut -f2 "$2"))"
  cover_placeholders "$1"
  python3 - "$1" $freed <<'PY'
import struct, sys
path, freed = sys.argv[1], [int(c) for c in sys.argv[2:]]
with open(path, "r+b") as f:
    boot = f.read(512)
    bps, = struct.unpack_from("<H", boot, 11); reserved, = struct.unpack_from("<H", boot, 14)
    fats = boot[16]; root_entries, = struct.unpack_from("<H", boot, 17); fat_size, = struct.unpack_from("<H", boot, 22)
    root = (reserved + fats * fat_size) * bps
    f.seek(root); entries = f.read(root_entries * 32)
    for at in range(0, len(entries), 32):
        e = entries[at:at + 32]
        if e[0] == 0: break
        if e[11] == 0x0F or e[:8] == b"URLAUB~1":
            f.seek(root + at); f.write(b"\xE5")
        if e[11] != 0x0F and e[:8] == b"URLAUB~1":
            f.seek(root + at + 28); f.write(struct.pack("<I", 4 * bps)); break
    for copy in range(fats):
        for c in freed:
            f.seek((reserved + copy * fat_size) * bps + 2 * c); f.write(b"\0\0")
PY
}

make_interleaved() {  # IMAGE LIST
  local pair i a b
  mkfs.fat -F 16 -s 4 -n CARD -C "$1" 32768 >/dev/null
  mmd -i "$1" ::/T ::/DCIM ::/DCIM/100CANON
  for pair in 1 2 3 4; do
    # Photo and preview of six clusters each: placeholders of one cluster, every other one
    # deleted before each, so the two take the clusters in turns.
    for i in $(seq 1 12); do placeholder "$1" "P${pair}_$i" 1; done
    for i in $(seq 1 2 12); do mdel -i "$1" "::/T/P${pair}_$i"; done
    a="DCIM/100CANON/Foto $pair.jpg"; b="DCIM/100CANON/Foto $pair Vorschau.jpg"
    make_jpeg 11900 "$work/f"; mcopy -i "$1" "$work/f" "::/$a"
    printf '%s\t%s\n' "$(sha256sum < "$work/f" | cut -c1-64)" "$a" >> "$2"
    for i in $(seq 2 2 12); do mdel -i "$1" "::/T/P${pair}_$i"; done
    make_jpeg 11800 "$work/f"; mcopy -i "$1" "$work/f" "::/$b"
    printf '%s\t%s\n' "$(sha256sum < "$work/f" | cut -c1-64)" "$b" >> "$2"
  done
  # A log grown around a one-cluster and a four-cluster file.
  placeholder "$1" G1 2; note "$1" "Ein Cluster.txt" 1500 "$2"; placeholder "$1" G2 1; note "$1" "Vier Cluster.txt" 7000 "$2"
  mdel -i "$1" ::/T/G1 ::/T/G2
  note "$1" "Gewachsen.log" 11000 "$2"
  while IFS=$'\t' read -r _ rel; do mdel -i "$1" "::/$rel"; done < "$2"
  cover_placeholders "$1"
}

make_dated() {  # IMAGE LIST
  local i rel
  mkfs.fat -F 32 -n CARD -C "$1" 65536 >/dev/null
  mmd -i "$1" ::/Zukunft
  for i in 1 2 3 4 5; do
    rel="Zukunft/Brief aus 2040 Nummer $i.txt"
    head -c $((1000 + i * 2500)) /dev/urandom > "$work/f"
    touch -d "2040-0$i-1$i 12:00:00" "$work/f"
    mcopy -m -i "$1" "$work/f" "::/$rel"
    printf '%s\t%s\n' "$(sha256sum < "$work/f" | cut -c1-64)" "$rel" >> "$2"
  done
  mdel -i "$1" "::/Zukunft/*"
}

status=0
printf '%-16s %-16s %8s %10s %15s %9s\n' "image" "tool" "deleted" "identical" "original path" "seconds"
# compare NAME STRICT MAKER [ARGS]: builds the image, runs both tools, prints and checks.
compare() {
  local name="$1" strict="$2" maker="$3"
  shift 3
  local dir="$work/$name" image="$work/$name/image.img" list="$work/$name/deleted.txt"
  mkdir -p "$dir"; : > "$list"
  "$maker" "$image" "$list" "$@"
  local total before t0 t1 t2 ours_identical ours_named tsk_identical tsk_named
  total=$(wc -l < "$list")
  before=$(sha256sum < "$image")
  t0=$(date +%s.%N)
  "$cli" scan "$image" --undelete --out "$dir/ours" >/dev/null 2>&1 || true
  t1=$(date +%s.%N)
  tsk_recover -i raw "$image" "$dir/tsk" >/dev/null 2>&1 || true
  t2=$(date +%s.%N)
  mkdir -p "$dir/ours" "$dir/tsk"
  [ "$(sha256sum < "$image")" = "$before" ] || { echo "$name: the image changed!" >&2; exit 1; }
  read -r ours_identical ours_named < <(count_recovered "$dir/ours" "$list")
  read -r tsk_identical tsk_named < <(count_recovered "$dir/tsk" "$list")
  printf '%-16s %-16s %8d %10d %15d %9.2f\n' "$name" "trellmond-cli" "$total" "$ours_identical" "$ours_named" \
    "$(echo "$t1 - $t0" | bc)"
  printf '%-16s %-16s %8d %10d %15d %9.2f\n' "$name" "tsk_recover" "$total" "$tsk_identical" "$tsk_named" \
    "$(echo "$t2 - $t1" | bc)"
  if (( ours_identical < tsk_identical || ours_named < tsk_named )); then
    echo "$name: ours below tsk_recover"; status=1
  elif [ "$strict" = strict ] && (( ours_identical <= tsk_identical && ours_named <= tsk_named )); then
    echo "$name: ours not above tsk_recover"; status=1
  fi
}

compare card-fat32 even make_card
compare longnames-fat32 even make_longnames
compare folders-fat12 strict make_folders 12 2048
compare folders-fat16 strict make_folders 16 16384
compare folders-fat32 strict make_folders 32 40960
compare deep-fat16 even make_deep
compare sectors-2048 even make_sectors 2048
compare sectors-4096 even make_sectors 4096
compare windows-folder-fat16 strict make_windows_folder
compare interleaved-fat16 strict make_interleaved
compare dated-2040 even make_dated
# The dated files keep their year in ours.
dated=$(find "$work/dated-2040/ours" -type f -newermt "2040-01-01" | wc -l)
echo "dated-2040: files saved by ours with their 2040 date: $dated of $(wc -l < "$work/dated-2040/deleted.txt")"
(( dated == $(wc -l < "$work/dated-2040/deleted.txt") )) || status=1
echo
if (( status == 0 )); then
  echo "ours >= tsk_recover on every image, and above it on the deleted-folder, Windows-folder and interleaved images: yes"
else
  echo "ours >= tsk_recover on every image, and above it on the deleted-folder, Windows-folder and interleaved images: NO"
fi
exit $status
