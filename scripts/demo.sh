#!/usr/bin/env bash
# Makes a demo camera card image with holiday photos and documents and deletes some of
# them. With a display it starts the service and opens the wizard with the card as drive
# E: and an empty folder for the recovered files as drive F:, for the whole road by hand;
# without one it brings the files back with trellmond-cli and prints what was recovered.
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
mkdir -p "$out"

if [ -n "${DISPLAY:-}" ] && [ -x "$build/wizard/trellmond" ] && [ -x "$build/service/trellmond-service" ]; then
  # The service on its default address, unless one already answers there.
  if ! (exec 3<>/dev/tcp/127.0.0.1/8642) 2>/dev/null; then
    "$build/service/trellmond-service" >"$demo/service.log" 2>&1 &
    service=$!
    trap 'kill $service 2>/dev/null || true' EXIT
    for _ in $(seq 50); do (exec 3<>/dev/tcp/127.0.0.1/8642) 2>/dev/null && break; sleep 0.1; done
  fi
  echo "Opening the wizard: pick \"E:\" on the Setup panel, press \"Analyse >>\", then save to drive F: ($out)."
  TRELLMOND_DRIVES="E=$card;F=$out" "$build/wizard/trellmond"
  echo "Recovered into $out:"
  (cd "$out" && find . -type f | sort | sed 's|^\./|  |')
  exit 0
fi

"$build/cli/trellmond-cli" scan "$card" --undelete --out "$out" --report "$demo/report.json"
echo "Recovered into $out:"
(cd "$out" && find . -type f | sort | sed 's|^\./|  |')
echo "Report: $demo/report.json"
