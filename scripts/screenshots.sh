#!/usr/bin/env bash
# Screenshots of the wizard on a virtual display: starts Xvfb with a small
# window manager, trellmond-service on a free loopback port and the real
# trellmond program, drives it with the keyboard and mouse as a user would,
# and saves PNGs of the splash, the Registration panel with the news (also reached with no
# arguments and no service running, the wizard starting the service itself), the
# proxy dialog, the about box and the security warning (plus the box the wizard
# closes with when the service is unreachable, the size warning and the help box), and the Setup panel with five
# attached card images and the file-type dialog, the Analysis panel during and after a
# scan (thumbnails of JPEG, PNG, TIFF and camera raw photos, the theme's icon per type,
# the carved copies of known files marked) with a preview and a file's details, the
# Recovery panel with its new folder in Pictures and the user's places first, the save
# summary with "Save a report", and the last panel naming the folder and the count, at 1280x900 and 1024x768;
# and a failing card copied into an image with "Make an image first...", then attached.
#
# Usage: scripts/screenshots.sh [OUTPUT_FOLDER]   (default: screenshots)
# The build folder is $TRELLMOND_BUILD_DIR (default: build), built with the GUI.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${TRELLMOND_BUILD_DIR:-build}"
case "$build" in /*) ;; *) build="$root/$build" ;; esac
out="$(mkdir -p "${1:-screenshots}" && cd "${1:-screenshots}" && pwd)"
wizard="$build/wizard/trellmond"
service="$build/service/trellmond-service"
preview="$build/tests/wizard/wizard_dialog_preview"
for program in "$wizard" "$service" "$preview"; do
  [ -x "$program" ] || { echo "missing $program: build with -DTRELLMOND_BUILD_GUI=ON first" >&2; exit 1; }
done
for tool in Xvfb openbox xdotool import; do
  command -v "$tool" >/dev/null || { echo "missing $tool: run scripts/install-deps.sh" >&2; exit 1; }
done

work="$(mktemp -d)"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# A free display number.
display=90
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
export DISPLAY=":$display"
Xvfb "$DISPLAY" -screen 0 1280x900x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
sleep 0.5
openbox >"$work/openbox.log" 2>&1 &
pids+=($!)
sleep 0.5

# The program's own settings and user folders stay inside the work folder: a home with the
# places a desktop user has.
export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_RUNTIME_DIR" "$HOME/Pictures" "$HOME/Documents" "$HOME/Desktop"
chmod 700 "$XDG_RUNTIME_DIR"

: >"$work/service.log"
"$service" --port 0 --database "$work/service.sqlite" >"$work/service.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do grep -q "listening on" "$work/service.log" && break; sleep 0.1; done
base="$(sed -n 's/^listening on //p' "$work/service.log" | head -1)"
[ -n "$base" ] || { echo "the service did not start" >&2; cat "$work/service.log" >&2; exit 1; }

# Waits for a visible window whose title matches the pattern; prints its id.
wait_window() {
  local pattern="$1" seconds="${2:-20}" id
  for _ in $(seq $((seconds * 10))); do
    id="$(xdotool search --onlyvisible --name "$pattern" 2>/dev/null | tail -1 || true)"
    if [ -n "$id" ]; then echo "$id"; return 0; fi
    sleep 0.1
  done
  echo "no window matching '$pattern' within ${seconds}s (the screen is in $out/failure.png)" >&2
  import -window root "$out/failure.png" 2>/dev/null || true
  return 1
}
wait_gone() {
  for _ in $(seq 300); do
    xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 || return 0
    sleep 0.1
  done
}
press() {  # window, key
  xdotool windowactivate --sync "$1" >/dev/null 2>&1 || xdotool windowfocus --sync "$1"
  xdotool key --clearmodifiers "$2"
}
pick() {  # window, text: typed into the focused list, which selects the item starting with it
  xdotool windowactivate --sync "$1" >/dev/null 2>&1 || xdotool windowfocus --sync "$1"
  sleep 0.5
  xdotool type --delay 60 "$2"
}
click() {  # window, x, y (inside the window)
  xdotool mousemove --window "$1" "$2" "$3" click 1
}
snap() {  # window -> checksum of its pixels
  import -window "$1" rgb:- 2>/dev/null | md5sum | cut -c1-32
}
# Waits until the window has changed from BEFORE (if given) and then kept still for STILL
# seconds: a loaded machine takes its time to switch panels or finish a scan, so fixed pauses
# would catch the screen half-way.
settle() {  # window, still seconds, timeout seconds, [before checksum]
  local window="$1" still="$2" timeout="$3" before="${4:-}" last="" now since=$SECONDS start=$SECONDS
  while [ $((SECONDS - start)) -lt "$timeout" ]; do
    now="$(snap "$window")"
    if [ "$now" != "$last" ]; then last="$now"; since=$SECONDS; fi
    if [ "$now" != "$before" ] && [ $((SECONDS - since)) -ge "$still" ]; then return 0; fi
    sleep 0.25
  done
  echo "the window did not settle within ${timeout}s" >&2
}
shot() {  # window, file: the window with its frame, once painted
  sleep 0.8
  import -frame -window "$1" "$out/$2"
  echo "saved $out/$2"
}
geometry() {  # window -> WIDTH and HEIGHT
  eval "$(xdotool getwindowgeometry --shell "$1")"
}
quit_wizard() {  # window: "Quit", then Yes to "Are you sure you want to quit?"
  geometry "$1"
  click "$1" 58 $((HEIGHT - 18))
  press "$(wait_window '^Trellmond$')" Return
}

# 1. A normal start: the command-line warning, the splash, the Registration panel, the about box.
"$wizard" "$base" Hv4kTq >"$work/wizard1.log" 2>&1 &
app=$!
pids+=($app)
press "$(wait_window '^Trellmond$')" Return
splash="$(wait_window '^Splash$')"
shot "$splash" 01-splash.png
press "$splash" Return
main="$(wait_window '^Pelmora Trellmond$' 30)"
sleep 0.5
wait_gone '^Information$'
shot "$main" 02-registration.png
geometry "$main"
click "$main" $((WIDTH - 33)) 10
about="$(wait_window '^About$')"
shot "$about" 04-about.png
press "$about" Return
quit_wizard "$main"
wait "$app" || true

# 1b. Started from the desktop's menu: no arguments and no service at the default address. The wizard
#     starts the service beside it for its session and reaches the Registration panel. It runs in a
#     network namespace of its own (where this machine allows one), so the default port is free.
if unshare -n true 2>/dev/null; then
  unshare -n sh -c 'ip link set lo up && exec "$0"' "$wizard" >"$work/wizard-menu.log" 2>&1 &
  app=$!
  pids+=($app)
  press "$(wait_window '^Splash$')" Return
  main="$(wait_window '^Pelmora Trellmond$' 30)"
  sleep 0.5
  wait_gone '^Information$'
  shot "$main" 02b-registration-started-from-menu.png
  quit_wizard "$main"
  wait "$app" || true
fi

# 2. The service unreachable, a proxy stored from an earlier run: the long message, three retries, the proxy
#    dialog, the box naming the address tried, and the wizard's end.
mkdir -p "$XDG_CONFIG_HOME/Pelmora"
printf '[Trellmond]\nProxyActive=1\nProxyName=127.0.0.1\nProxyPort=3128\n' >"$XDG_CONFIG_HOME/Pelmora/Trellmond.conf"
dead="http://127.0.0.1:9"
"$wizard" "$dead" Hv4kTq >"$work/wizard2.log" 2>&1 &
app=$!
pids+=($app)
press "$(wait_window '^Trellmond$')" Return
press "$(wait_window '^Splash$')" Return
sleep 1.5
press "$(wait_window '^Trellmond$' 30)" Return
proxy="$(wait_window '^Proxy$' 30)"
shot "$proxy" 03-proxy.png
press "$proxy" Escape
sleep 1
# Without the service the wizard names the address it tried and closes.
offline="$(wait_window '^Trellmond$' 30)"
shot "$offline" 06-offline.png
press "$offline" Return
wait "$app" || true

# 3. Dialogs that only come up deep inside a scan or a save.
for dialog in "security:^Security Warning$:05-security-warning.png" "size:^Size Warning$:07-size-warning.png" \
              "help:^Help$:08-help.png"; do
  IFS=: read -r which title file <<<"$dialog"
  "$preview" "$which" >"$work/preview.log" 2>&1 &
  pids+=($!)
  id="$(wait_window "$title")"
  shot "$id" "$file"
  press "$id" Return
done
wait_gone '^Help$'

# 4. The Setup panel with a FAT16 card, a FAT32 card, an NTFS disk, an unformatted card and an exFAT card
#    attached.
cards="$work/cards"
mkdir -p "$cards"
mkfs.fat -F 16 -n HOLIDAY -C "$cards/fat16.img" 65536 >/dev/null
# Large (sparse) so that the scan runs long enough to be seen.
mkfs.fat -F 32 -n CAMERA -C "$cards/fat32.img" 3145728 >/dev/null
# The camera card holds photos and documents, some of them deleted.
export MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8
mmd -i "$cards/fat32.img" ::/DCIM ::/DCIM/100CANON ::/Documents
n=0
for f in "$root"/tests/data/samples/*.jpg "$root"/tests/data/samples/*.png "$root"/tests/data/samples/sample.tif \
         "$root"/tests/data/samples/sample.cr2 "$root"/tests/data/samples/*.gif "$root"/tests/data/samples/*.bmp; do
  n=$((n + 1))
  mcopy -i "$cards/fat32.img" "$f" "::/DCIM/100CANON/IMG_$(printf %04d "$n").${f##*.}"
done
for f in "$root"/tests/data/samples/sample.pdf "$root"/tests/data/samples/sample.docx; do
  [ -f "$f" ] && mcopy -i "$cards/fat32.img" "$f" "::/Documents/Trip plans.${f##*.}"
done
# The photos lost: JPEGs, the PNG, the TIFF and the camera raw.
for i in 1 2 3 4 5; do mdel -i "$cards/fat32.img" "::/DCIM/100CANON/IMG_000$i.*" 2>/dev/null || true; done
mdel -i "$cards/fat32.img" "::/Documents/Trip plans.pdf" 2>/dev/null || true
truncate -s 96M "$cards/ntfs.img" && mkntfs -q -F -f -L BACKUP "$cards/ntfs.img" >/dev/null 2>&1
truncate -s 48M "$cards/blank.img"
# J: an SDXC card as cameras format it (exFAT), photos on it and some deleted, where a loop device
# and a FUSE mount can fill it; else only formatted.
truncate -s 256M "$cards/exfat.img" && mkfs.exfat -L SDXC "$cards/exfat.img" >/dev/null
if [ "$(id -u)" = 0 ] && [ -w /dev/fuse ] && command -v mount.exfat-fuse >/dev/null; then
  mkdir -p "$cards/exfat.mnt"
  loop="$(losetup -f --show "$cards/exfat.img")"
  if mount.exfat-fuse "$loop" "$cards/exfat.mnt"; then
    mkdir -p "$cards/exfat.mnt/DCIM/100CANON"
    for n in 1 2 3 4 5 6; do cp "$root/tests/data/samples/sample.jpg" "$cards/exfat.mnt/DCIM/100CANON/IMG_000$n.JPG"; done
    rm "$cards/exfat.mnt/DCIM/100CANON/IMG_0002.JPG" "$cards/exfat.mnt/DCIM/100CANON/IMG_0005.JPG"
    umount "$cards/exfat.mnt"
  fi
  losetup -d "$loop"
  for _ in $(seq 1 100); do [ -z "$(losetup -j "$cards/exfat.img")" ] && break; sleep 0.05; done
fi
# I: a folder to save into.
mkdir -p "$work/saved"
export TRELLMOND_DRIVES="E=$cards/fat16.img;F=$cards/fat32.img;G=$cards/ntfs.img;H=$cards/blank.img;I=$work/saved;J=$cards/exfat.img"
setup_shots() {  # suffix
  rm -f "$XDG_CONFIG_HOME/Pelmora/Trellmond.conf"  # no proxy left from the offline run
  "$wizard" "$base" Hv4kTq >"$work/wizard-setup.log" 2>&1 &
  local app=$!
  pids+=($app)
  press "$(wait_window '^Trellmond$')" Return
  press "$(wait_window '^Splash$')" Return
  local main
  main="$(wait_window '^Pelmora Trellmond$' 30)"
  sleep 0.5
  wait_gone '^Information$'
  press "$main" Return  # "Next >>"
  settle "$main" 1 30
  geometry "$main"
  # The drive list has the focus: typing the start of a drive's name picks it as a user would
  # (arrow keys would depend on which other drives this machine has).
  pick "$main" HOLIDAY
  shot "$main" "10-setup-$1.png"
  pick "$main" Removable
  shot "$main" "11-setup-unformatted-$1.png"
  # The SDXC card: exFAT, both scans offered.
  pick "$main" SDXC
  shot "$main" "11-setup-exfat-$1.png"
  # The camera card (F:) for the file-type dialog and then the scan.
  pick "$main" CAMERA
  sleep 0.5
  # "Options..." of the Low Level Scan, at the bottom right of the centred Setup panel.
  local left=$(( (WIDTH - 680) / 2 )) top=$(( 100 + (HEIGHT - 136 - 540) / 2 ))
  click "$main" $((left + 620)) $((top + 515))
  local dialog
  dialog="$(wait_window '^File Selection$')"
  shot "$dialog" "12-file-types-$1.png"
  press "$dialog" Escape
  sleep 0.5
  # "Analyse >>" (Enter): both scans of the camera card, then the Analysis panel with its results.
  press "$main" Return
  if [ "$1" = 1280x900 ]; then  # the image is not yet in the page cache: the scan takes seconds
    sleep 1.2
    import -frame -window "$main" "$out/13-analysis-scanning-$1.png"
    echo "saved $out/13-analysis-scanning-$1.png"
  fi
  # Done when nothing has moved for longer than the scan clock's tick.
  settle "$main" 3 180
  shot "$main" "13-analysis-$1.png"
  # The mouse resting on the thumbnail of the first photo in the path tree: the preview.
  xdotool mousemove --window "$main" 522 302
  sleep 1.5
  shot "$main" "14-analysis-preview-$1.png"
  # A double-click on the first photo: its picture large, with its details.
  xdotool mousemove --window "$main" 200 302 click --repeat 2 --delay 80 1
  local details
  details="$(wait_window '^xMG_0001')"
  shot "$details" "14-analysis-details-$1.png"
  press "$details" Escape
  sleep 0.5
  # "Recover >>" (Enter): the Recovery panel with its own new folder in Pictures, the user's places first.
  local before
  before="$(snap "$main")"
  press "$main" Return
  settle "$main" 1 60 "$before"
  shot "$main" "15-recovery-$1.png"
  # "Recover >>" again: the save into that folder, its summary box with "Save a report" (Enter: OK),
  # then the last panel.
  press "$main" Return
  summary="$(wait_window '^Trellmond$' 60)"
  shot "$summary" "16-save-summary-$1.png"
  before="$(snap "$main")"
  press "$summary" Return
  settle "$main" 1 60 "$before"
  shot "$main" "16-last-panel-$1.png"
  find "$HOME/Pictures" -type f | sed "s|^$HOME/Pictures/|  saved: |" | sort
  # "Exit" (Enter); the folder opens in the desktop's file manager where there is one.
  press "$main" Return
  wait "$app" || true
}
setup_shots 1280x900

# 5. A card image of two partitions, as `dd` of a whole card gives it: each volume a drive of
# its own, then the whole card.
truncate -s 50M "$cards/two.img"
printf 'label: dos\nstart=2048, size=24M, type=e\nsize=24M, type=e\n' | sfdisk -q "$cards/two.img"
mkfs.fat -F 16 -n PHOTOS -C "$cards/photos.vol" 24576 >/dev/null
mkfs.fat -F 16 -n VIDEOS -C "$cards/videos.vol" 24576 >/dev/null
mcopy -i "$cards/photos.vol" "$root/tests/data/samples/sample.jpg" ::/IMG_0001.JPG
dd if="$cards/photos.vol" of="$cards/two.img" bs=1M seek=1 conv=notrunc status=none
dd if="$cards/videos.vol" of="$cards/two.img" bs=1M seek=25 conv=notrunc status=none
TRELLMOND_DRIVES="E=$cards/two.img;H=$work/saved" "$wizard" "$base" Hv4kTq >"$work/wizard-two.log" 2>&1 &
app=$!
pids+=($app)
press "$(wait_window '^Trellmond$')" Return
press "$(wait_window '^Splash$')" Return
main="$(wait_window '^Pelmora Trellmond$' 30)"
sleep 0.5
wait_gone '^Information$'
press "$main" Return  # "Next >>"
sleep 1.5
press "$main" Down
press "$main" Down
shot "$main" "17-setup-partitioned-card.png"
kill "$app" 2>/dev/null || true
wait "$app" 2>/dev/null || true

# 6. A camera card quick-formatted after the photos were taken (mkfs.fat over it): the
# Analysis panel lists them below "Lost folders", in the folder tree their card gave them.
mkfs.fat -F 32 -n FORMATTED -C "$cards/formatted.img" 65536 >/dev/null
mmd -i "$cards/formatted.img" ::/DCIM ::/DCIM/100CANON "::/DCIM/100CANON/Am Strand"
for n in 1 2 3 4 5 6; do
  sample="$root/tests/data/samples/sample.jpg"
  (( n % 2 == 0 )) && sample="$root/tests/data/samples/sample.exif.jpg"
  mcopy -i "$cards/formatted.img" "$sample" "::/DCIM/100CANON/IMG_$(printf %04d "$n").JPG"
done
mcopy -i "$cards/formatted.img" "$root/tests/data/samples/sample.exif.jpg" "::/DCIM/100CANON/Am Strand/Sonnenuntergang.jpg"
mkfs.fat -F 32 -n FORMATTED "$cards/formatted.img" >/dev/null
TRELLMOND_DRIVES="E=$cards/formatted.img;H=$work/saved" "$wizard" "$base" Hv4kTq >"$work/wizard-formatted.log" 2>&1 &
app=$!
pids+=($app)
press "$(wait_window '^Trellmond$')" Return
press "$(wait_window '^Splash$')" Return
main="$(wait_window '^Pelmora Trellmond$' 30)"
sleep 0.5
wait_gone '^Information$'
press "$main" Return  # "Next >>"
settle "$main" 1 30
pick "$main" FORMATTED
sleep 0.5
press "$main" Return  # "Analyse >>"
settle "$main" 3 120
shot "$main" "18-analysis-formatted-card.png"
kill "$app" 2>/dev/null || true
wait "$app" 2>/dev/null || true

# 7. "Make an image first..." on a failing card: a FUSE file that answers slowly and fails two ranges
# (tests/support/faulty_file.py), copied into an image in the saved folder with its progress, then
# the image attached and selected.
if [ -w /dev/fuse ] && { /usr/bin/python3 -c 'import fusepy' 2>/dev/null || /usr/bin/python3 -c 'import fuse' 2>/dev/null; }; then
  mkfs.fat -F 32 -n DYINGCARD -C "$cards/dying.img" 65536 >/dev/null
  mcopy -i "$cards/dying.img" "$root/tests/data/samples/sample.jpg" ::/IMG_0001.JPG
  mkdir -p "$cards/dying.mnt"
  /usr/bin/python3 "$root/tests/support/faulty_file.py" "$cards/dying.img" "$cards/dying.mnt" --delay 0.03 \
    --bad 40000:64 --bad 90000:8 --bad 120000:4 >"$work/faulty.log" 2>&1 &
  faulty=$!
  pids+=($faulty)
  for _ in $(seq 100); do [ -e "$cards/dying.mnt/card.img" ] && break; sleep 0.1; done
  TRELLMOND_DRIVES="E=$cards/dying.mnt/card.img;I=$work/saved" "$wizard" "$base" Hv4kTq >"$work/wizard-image.log" 2>&1 &
  app=$!
  pids+=($app)
  press "$(wait_window '^Trellmond$')" Return
  press "$(wait_window '^Splash$')" Return
  main="$(wait_window '^Pelmora Trellmond$' 30)"
  sleep 0.5
  wait_gone '^Information$'
  press "$main" Return  # "Next >>"
  settle "$main" 1 30
  pick "$main" DYINGCARD
  sleep 0.5
  press "$main" alt+i  # "Make an image first..."
  place="$(wait_window '^Make an image of the drive$')"
  press "$place" ctrl+a
  xdotool type --delay 20 "$work/saved/DYINGCARD.img"
  press "$place" Return
  copying="$(wait_window '^Information$' 30)"
  sleep 2.5
  shot "$copying" 19-make-image-copying.png
  wait_gone '^Information$'
  settle "$main" 1 30
  shot "$main" 20-make-image-attached.png
  kill "$app" 2>/dev/null || true
  wait "$app" 2>/dev/null || true
  fusermount3 -u "$cards/dying.mnt" 2>/dev/null || true
fi

# The same on a smaller screen.
small=$((display + 1))
while [ -e "/tmp/.X11-unix/X$small" ] || [ -e "/tmp/.X$small-lock" ]; do small=$((small + 1)); done
Xvfb ":$small" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb-small.log" 2>&1 &
pids+=($!)
sleep 1
export DISPLAY=":$small"
openbox >"$work/openbox-small.log" 2>&1 &
pids+=($!)
sleep 0.5
setup_shots 1024x768
echo "screenshots in $out"
