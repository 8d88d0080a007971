# The files of a test card, shared by the comparison benchmarks (source this file).

# make_jpeg SIZE OUT: a picture that decodes (the scans drop pictures that do not), the bundled
# sample picture padded to about SIZE bytes with comment segments of random bytes.
make_jpeg() {
  local sample="$root/tests/data/samples/sample.jpg"
  local left=$(( $1 - $(stat -c %s "$sample") )) chunk
  { head -c 2 "$sample"
    while (( left > 4 )); do
      chunk=$(( left - 4 > 65533 ? 65533 : left - 4 ))
      printf "\\xff\\xfe\\x$(printf %02x $(((chunk + 2) >> 8)))\\x$(printf %02x $(((chunk + 2) & 255)))"
      head -c "$chunk" /dev/urandom
      left=$(( left - chunk - 4 ))
    done
    tail -c +3 "$sample"; } > "$2"
}

# fill_card STAGE PICTURE_EXT DOCUMENT_EXT MIN_SIZE FOLDER...: 40 files in each folder, named in turn
# IMG_nnnn.PICTURE_EXT, "Photo of day n.jpg", "Report_n for Anna.DOCUMENT_EXT" and notes-n.txt, of
# MIN_SIZE to MIN_SIZE + 300 KB; prints each file's path below STAGE as it is made.
fill_card() {
  local stage="$1" picture="$2" document="$3" min="$4" n=0 folder name size
  shift 4
  RANDOM=4242
  for folder in "$@"; do
    mkdir -p "$stage/$folder"
    for _ in $(seq 1 40); do
      n=$((n + 1))
      case $((n % 4)) in
        0) name="IMG_$(printf %04d $n).$picture" ;;
        1) name="Photo of day $n.jpg" ;;
        2) name="Report_$n for Anna.$document" ;;
        3) name="notes-$n.txt" ;;
      esac
      size=$(( (RANDOM * 10 % 300000) + min ))
      case "${name,,}" in
        *.jpg|*.jpeg) make_jpeg "$size" "$stage/$folder/$name" ;;
        *) head -c "$size" /dev/urandom > "$stage/$folder/$name" ;;
      esac
      printf '%s\n' "$folder/$name"
    done
  done
}

# count_recovered OUT DELETED_LIST: "identical named" — of the deleted originals listed as
# "sha256<TAB>path", how many lie anywhere under OUT byte-identical, and how many under their
# original path and name, exactly as spelt (on Linux "a.jpg" and "a.JPG" are two names).
count_recovered() {
  local out="$1" list="$2" identical=0 named=0 f h rel hash
  declare -A hashes=()
  declare -A paths=()
  while IFS= read -r -d '' f; do
    h="$(sha256sum < "$f" | cut -c1-64)"
    hashes["$h"]=1
    rel="${f#"$out"/}"
    paths["$rel"]="$h"
  done < <(find "$out" -type f -print0)
  while IFS=$'\t' read -r hash rel; do
    [ -n "${hashes[$hash]:-}" ] && identical=$((identical + 1))
    [ "${paths[$rel]:-}" = "$hash" ] && named=$((named + 1))
  done < "$list"
  echo "$identical $named"
}
