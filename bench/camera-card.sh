# A quick-formatted camera card of 12-megapixel Exif photos, shared by the carving
# benchmarks (source this file; needs $here, the repository).
#
# make_camera_card IMAGE MIB WORK: a FAT32 card of MIB MiB (256 and up) with 4 KiB
# clusters, about nine tenths full of 4000 x 3000 photos of about
# 4 MB with Exif blocks and thumbnails (made from eight pictures, every photo's bytes
# its own through its Exif block), formatted again with mkfs.fat. Writes the list of
# the photos put on it to IMAGE.originals.
make_camera_card() {
  local image="$1" mib="$2" work="$3" bases=8 i count size=0
  mkdir -p "$work/photos"
  # The pictures, two at a time: smooth light with sensor noise, as photos compress.
  seq 1 "$bases" | xargs -P 2 -I{} convert -size 1000x750 -seed {} plasma:green-blue -resize '4000x3000!' \
    -attenuate 0.25 +noise Gaussian -quality 92 -strip "$work/photos/picture_{}.jpg"
  seq 1 "$bases" | xargs -P 2 -I{} convert "$work/photos/picture_{}.jpg" -resize 160x120 -quality 70 -strip \
    "$work/photos/small_{}.jpg"
  local each
  each=$(stat -c %s "$work/photos/picture_1.jpg")
  count=$(( mib * 1024 * 1024 / 10 * 9 / (each + 64 * 1024) ))
  for i in $(seq 1 "$count"); do
    ln -sf "picture_$(( (i - 1) % bases + 1 )).jpg" "$work/photos/base_$i.jpg"
    ln -sf "small_$(( (i - 1) % bases + 1 )).jpg" "$work/photos/thumb_$i.jpg"
  done
  python3 "$here/bench/make-exif-photos.py" "$work/photos" "$count"
  dd if=/dev/zero of="$image" bs=1M count=0 seek="$mib" status=none
  mkfs.fat -F 32 -s 8 -S 512 -n CAMERA "$image" >/dev/null
  mmd -i "$image" ::/DCIM ::/DCIM/100CAM
  # mcopy takes many files at once; the card fills in name order, as a camera writes it.
  (cd "$work/photos" && ls IMG_*.JPG | xargs -n 200 sh -c 'mcopy -i "$0" "$@" ::/DCIM/100CAM/' "$image")
  mkfs.fat -F 32 -s 8 -S 512 -n CAMERA "$image" >/dev/null
  ls "$work/photos"/IMG_*.JPG > "$image.originals"
}
