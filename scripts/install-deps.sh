#!/usr/bin/env bash
# Installs the Debian packages Trellmond needs to build, test and benchmark.
# Idempotent: does nothing when every package is already present.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ pkg-config
  # CI matrix: compiles kept between runs on one machine (scripts/ci-matrix.sh)
  ccache
  # fuzzing (scripts/fuzz.sh): Clang with libFuzzer and the sanitizer runtimes, the symbolizer
  clang libclang-rt-dev llvm
  # engine
  libpcre2-dev libcurl4-openssl-dev libblkid-dev libudev-dev
  # Expert Witness (E01) images as sources; ewfacquire makes them for the tests
  libewf-dev ewf-tools
  # carved gzip and bzip2 streams, read to their ends
  zlib1g-dev libbz2-dev
  # GUI
  qt6-base-dev qt6-svg-dev libjpeg62-turbo-dev libgif-dev libwmf-dev
  # GUI pictures beyond the engine's check: TIFF and WebP plugins, camera raw previews, HEIF;
  # file-type icons where no desktop session names an icon theme
  qt6-image-formats-plugins libraw-dev libheif-dev adwaita-icon-theme shared-mime-info
  # service; PostgreSQL as its other store (the tests and benches start a server of their own)
  libcpp-httplib-dev libsqlite3-dev sqlite3 libpq-dev postgresql postgresql-client
  # reports: JSON, and DFXML written with libxml2, hashed with libcrypto, checked with xmllint
  nlohmann-json3-dev libxml2-dev libssl-dev libxml2-utils
  # the Debian package (cpack -G DEB with dpkg-shlibdeps) and its checks: AppStream entry,
  # systemd user units, socket activation of the service, a network namespace for the wizard's
  # start with no service (unshare, ip)
  dpkg-dev file appstream systemd util-linux iproute2 curl
  # tests: real FAT and NTFS images, a display for screenshots
  googletest libgtest-dev libgmock-dev dosfstools mtools ntfs-3g xvfb xauth
  # tests: real exFAT cards, made by mkfs.exfat and filled through a FUSE mount on a loop device
  exfatprogs exfat-fuse fuse3 util-linux
  # whole-disk images with partition tables (sfdisk; losetup for 4096-byte sectors)
  fdisk mount
  # wizard screenshots: a window manager, input and capture on the virtual display
  openbox xdotool imagemagick x11-utils
  # "Run as Administrator" in the desktop entry, and its check
  pkexec desktop-file-utils
  # the sound tools that made the committed samples (scripts/make-samples.sh)
  sox flac
  # bench and peers for side-by-side runs
  libbenchmark-dev sleuthkit testdisk foremost wrk time bc python3 strace
  # a failing card for the image tests (a FUSE file) and GNU ddrescue to check its map against
  python3-fusepy fuse3 gddrescue
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
