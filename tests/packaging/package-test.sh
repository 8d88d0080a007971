#!/usr/bin/env bash
# The Debian package as a user gets it: made by cpack from the build folder, unpacked into a
# scratch root (dpkg -x), its programs run from there, its desktop entry, AppStream entry and
# systemd units checked by their own validators, and nothing in it that would stay behind
# after removal. Usage: package-test.sh BUILD_DIR
set -euo pipefail

build=$(cd "$1" && pwd)
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
service_pid=""
cleanup() {
  if [ -n "$service_pid" ]; then kill "$service_pid" 2>/dev/null || true; wait "$service_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1) ||
  { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/out/trellmond_*.deb)
echo "package: $(basename "$deb")"

# Dependencies come from dpkg-shlibdeps: the Qt, curl, SQLite, libxml2 and libewf libraries at least.
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for lib in libqt6widgets6 libcurl4 libsqlite3-0 libxml2 libewf2 libc6; do
  grep -q "$lib" <<<"$depends" || fail "no dependency on $lib"
done

# Removal leaves nothing behind: every file is the package's own, under /usr, and no
# maintainer script makes anything outside that list.
listing=$(dpkg-deb -c "$deb" | awk '{print $6}')
if grep -v '^\./usr/' <<<"$listing" | grep -v '^\./$' | grep -q .; then fail "files outside /usr: $listing"; fi
mkdir "$work/control"
dpkg-deb -e "$deb" "$work/control"
for script in preinst postinst prerm postrm conffiles; do
  [ ! -e "$work/control/$script" ] || fail "the package has a $script"
done

root="$work/root"
dpkg -x "$deb" "$root"
for f in usr/bin/trellmond usr/bin/trellmond-cli usr/bin/trellmond-service \
         usr/share/man/man1/trellmond-cli.1 usr/share/applications/trellmond.desktop \
         usr/share/polkit-1/actions/org.pelmora.trellmond.policy \
         usr/share/icons/hicolor/scalable/apps/trellmond.svg \
         usr/share/metainfo/org.pelmora.trellmond.metainfo.xml \
         usr/share/trellmond/service/catalogue/details.txt usr/share/trellmond/service/site/index.html \
         usr/lib/systemd/user/trellmond-service.socket usr/lib/systemd/user/trellmond-service.service \
         usr/lib/systemd/user/sockets.target.wants/trellmond-service.socket; do
  [ -e "$root/$f" ] || fail "missing $f"
done
# Paths written into the installed files name the installed programs.
grep -qx 'Exec=pkexec /usr/bin/trellmond' "$root/usr/share/applications/trellmond.desktop" || fail "desktop entry Exec"
grep -q '>/usr/bin/trellmond<' "$root/usr/share/polkit-1/actions/org.pelmora.trellmond.policy" || fail "polkit path"
grep -qx 'ExecStart=/usr/bin/trellmond-service' "$root/usr/lib/systemd/user/trellmond-service.service" ||
  fail "service ExecStart"

# Hints too: a second main category would list the program twice in some menus.
hints=$(desktop-file-validate "$root/usr/share/applications/trellmond.desktop")
[ -z "$hints" ] || fail "desktop entry: $hints"
appstreamcli validate --no-net "$root/usr/share/metainfo/org.pelmora.trellmond.metainfo.xml"
# The user units as the user manager loads them; the program they start is the scratch root's
# (verify checks that it is there and executable), everything else as installed.
mkdir -p "$work/units" "$work/runtime"
chmod 700 "$work/runtime"
cp "$root/usr/lib/systemd/user/trellmond-service.socket" "$work/units/"
sed "s|^ExecStart=/usr/bin/|ExecStart=$root/usr/bin/|" "$root/usr/lib/systemd/user/trellmond-service.service" \
  >"$work/units/trellmond-service.service"
XDG_RUNTIME_DIR="$work/runtime" systemd-analyze verify --user \
  "$work/units/trellmond-service.socket" "$work/units/trellmond-service.service"
man -l "$root/usr/share/man/man1/trellmond-cli.1" >/dev/null 2>&1 || fail "man page"

# The installed programs run from the scratch root and take their data from it.
"$root/usr/bin/trellmond-cli" --help >"$work/help.txt" || fail "trellmond-cli --help"
grep -q -- "--dfxml" "$work/help.txt" || fail "help text"
"$root/usr/bin/trellmond-service" --help | grep -qF "(default $root/usr/share/trellmond/service)" ||
  fail "the installed service does not use its installed data"
QT_QPA_PLATFORM=offscreen ldd "$root/usr/bin/trellmond" | grep -q "not found" && fail "trellmond: missing libraries"

# A card image recovered by the installed command line with the installed catalogue.
img="$work/card.img"
mkfs.fat -C -n CARD "$img" 8192 >/dev/null
printf 'a deleted note\n%.0s' $(seq 200) >"$work/note.txt"
export MTOOLS_SKIP_CHECK=1
mcopy -i "$img" "$work/note.txt" ::/NOTE.TXT
mcopy -i "$img" "$source_dir/tests/data/samples/sample.jpg" ::/PHOTO.JPG
mdel -i "$img" ::/NOTE.TXT ::/PHOTO.JPG
"$root/usr/bin/trellmond-cli" scan "$img" --types txt --out "$work/recovered" >"$work/scan.txt" 2>"$work/scan.err" ||
  { cat "$work/scan.err"; fail "trellmond-cli scan"; }
grep -q "Found 1 files, saved 1 files" "$work/scan.txt" || fail "scan: $(cat "$work/scan.txt")"
# A deleted entry has lost the first letter of its short name.
cmp "$work/note.txt" "$work/recovered/"?OTE.TXT || fail "recovered bytes: $(ls "$work/recovered")"
env -u TRELLMOND_CATALOGUE_DIR "$root/usr/bin/trellmond-cli" scan "$img" --low --types jpg --out "$work/carved" \
  >"$work/low.txt" 2>"$work/low.err" || { cat "$work/low.err"; fail "Low Level Scan with the installed catalogue"; }
cmp "$source_dir/tests/data/samples/sample.jpg" "$work/carved/file_1.jpg" || fail "carved bytes: $(cat "$work/low.txt")"

# The installed service started as its socket unit starts it: on the first request.
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
systemd-socket-activate -l "127.0.0.1:$port" "$root/usr/bin/trellmond-service" --database "$work/service.sqlite" \
  >"$work/service.log" 2>&1 &
service_pid=$!
for _ in $(seq 100); do
  if curl -fsS "http://127.0.0.1:$port/php/getkey.php?searchKey=VERSION&language=ENG" >"$work/version.txt" 2>/dev/null; then
    break
  fi
  sleep 0.1
done
grep -q "VERSION;" "$work/version.txt" || fail "the installed service did not answer: $(cat "$work/service.log")"
curl -fsS "http://127.0.0.1:$port/php/getfileinfo.php?method=getFileDetails&scantype=1&language=ENG" |
  grep -q "jpg" || fail "the installed service has no catalogue"
echo "package test passed"
