#!/usr/bin/env bash
# Makes a demo camera card image with holiday photos and documents, deletes some of
# them, and brings them back with trellmond-cli, printing what was recovered; with a display,
# the wizard opens on the same card afterwards.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${TRELLMOND_BUILD_DIR:-$root/build}"
if [ ! -x "$build/cli/trellmond-cli" ]; then
  "$root/scripts/install-deps.sh"
  cmake -S "$root" -B "$build" -G Ninja >/dev/null
  cmake --build "$build"
fi

demo="${TRELLMOND_DEMO_DIR:-$HOME/trellmond-demo}"
mkdir -p "$demo"
card="$demo/card.img"
export MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8
samples="$root/tests/data/samples"
rm -f "$card"
mkfs.fat -F 32 -s 4 -n HOLIDAY -C "$card" 262144 >/dev/null
mmd -i "$card" ::/DCIM ::/DCIM/100CANON "::/Holiday 2005" ::/Documents
n=0
for f in "$samples"/sample.jpg "$samples"/sample.exif.jpg "$samples"/sample.jpeg "$samples"/sample.png \
         "$samples"/sample.gif "$samples"/sample.bmp; do
  [ -f "$f" ] || continue
  n=$((n + 1))
  mcopy -i "$card" "$f" "::/DCIM/100CANON/IMG_$(printf %04d "$n").${f##*.}"
  mcopy -i "$card" "$f" "::/Holiday 2005/Beach day $n.${f##*.}"
done
for f in "$samples"/sample.pdf "$samples"/sample.docx "$samples"/sample.odt "$samples"/sample.xlsx; do
  [ -f "$f" ] || continue
  mcopy -i "$card" "$f" "::/Documents/Holiday plans.${f##*.}"
done
# The accident: a few photos and a document deleted.
mdel -i "$card" "::/Holiday 2005/Beach day 1.jpg" "::/Holiday 2005/Beach day 2.jpg" ::/DCIM/100CANON/IMG_0004.png
[ -n "$(mdir -b -i "$card" ::/Documents 2>/dev/null | head -n 1)" ] && mdel -i "$card" "$(mdir -b -i "$card" ::/Documents | head -n 1)"
echo "Demo card: $card"

out="$demo/recovered"
rm -rf "$out"
"$build/cli/trellmond-cli" scan "$card" --undelete --out "$out" --report "$demo/report.json"
echo "Recovered into $out:"
(cd "$out" && find . -type f | sort | sed 's|^\./|  |')
echo "Report: $demo/report.json"

# With a display and the wizard built, the wizard opens too, with the demo card as drive E:.
if [ -n "${DISPLAY:-}" ] && [ -x "$build/wizard/trellmond" ] && [ -x "$build/service/trellmond-service" ]; then
  "$build/service/trellmond-service" &
  service=$!
  trap 'kill $service 2>/dev/null || true' EXIT
  sleep 1
  TRELLMOND_DRIVES="E=$card" "$build/wizard/trellmond"
fi
