#!/usr/bin/env bash
# Carving side by side: a 512 MiB image of random data with a few hundred real
# files of the catalogue's types (the committed samples) laid in at sector starts,
# scanned by trellmond-cli's quick and thorough Low Level Scans, photorec (batch
# mode) and foremost. For each it prints the files recovered (byte-identical for
# types with a footer in the catalogue, the sample as a prefix for header-only
# types), the false files (matching no embedded file) and MB/s.
# Usage: bench/compare-carving.sh [BUILD_DIR]   (default: build)
set -euo pipefail

here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build}"
cli="$build/cli/trellmond-cli"
[ -x "$cli" ] || { echo "no $cli: build first (cmake --build $build --target trellmond-cli)" >&2; exit 1; }
for tool in photorec foremost python3; do
  command -v "$tool" >/dev/null || { echo "missing $tool (scripts/install-deps.sh installs it)" >&2; exit 1; }
done
work="$(mktemp -d)"
# CARVE_KEEP=1 keeps the image and every tool's output for a closer look.
if [ "${CARVE_KEEP:-0}" = 1 ]; then echo "work folder: $work"; else trap 'rm -rf "$work"' EXIT; fi
size_mib="${CARVE_IMAGE_MIB:-512}"

python3 - "$here" "$work" "$size_mib" <<'PY'
import json, os, random, sys
here, work, size_mib = sys.argv[1], sys.argv[2], int(sys.argv[3])
samples_dir = os.path.join(here, 'tests/data/samples')
footer_types = set()
for line in open(os.path.join(here, 'service/data/catalogue/details.txt')):
    f = line.rstrip('\n').split(';')
    if len(f) > 4 and f[4] == '1':
        footer_types.add(f[0])
names = sorted(n for n in os.listdir(samples_dir) if n.startswith('sample.'))
random.seed(2024)
size = size_mib << 20
image = bytearray(os.urandom(size))
placed, offset = [], 8192
while offset < size - (1 << 20):
    name = names[len(placed) % len(names)]
    data = open(os.path.join(samples_dir, name), 'rb').read()
    image[offset:offset + len(data)] = data
    placed.append({'offset': offset, 'sample': name, 'footer': name.rsplit('.', 1)[1] in footer_types})
    offset += (random.randint(1 << 20, 2 << 20) // 512) * 512
open(os.path.join(work, 'card.img'), 'wb').write(image)
json.dump(placed, open(os.path.join(work, 'placed.json'), 'w'))
print(f'image: {size_mib} MiB, {len(placed)} files of {len(names)} samples')
PY

types="$(cut -d';' -f1 "$here/service/data/catalogue/overview-low.txt" | paste -sd, -)"
run() {  # name, command...: times the command, output folder is $work/out-<name>
  local name="$1"; shift
  local start end
  # Dirty pages of the image or of the last tool's output are written back first:
  # no tool pays for another's writes.
  sync
  start=$(date +%s.%N)
  "$@" >"$work/$name.log" 2>&1 || echo "$name exited with $?" >&2
  end=$(date +%s.%N)
  echo "$name $(python3 -c "print($end - $start)")" >>"$work/times.txt"
}
cat "$work/card.img" >/dev/null  # page cache for everyone
# Our scans once more without saving: the carving alone, for comparison with the reads.
run ours-quick-scan-only "$cli" scan "$work/card.img" --low --types "$types"
run ours-thorough-scan-only "$cli" scan "$work/card.img" --low --thorough --types "$types"
run ours-quick "$cli" scan "$work/card.img" --low --types "$types" --out "$work/out-ours-quick"
run ours-thorough "$cli" scan "$work/card.img" --low --thorough --types "$types" --out "$work/out-ours-thorough"
mkdir -p "$work/pr" "$work/out-photorec" && (cd "$work/pr" &&
  run photorec photorec /log /d "$work/out-photorec/recup" /cmd "$work/card.img" partition_none,fileopt,everything,enable,search)
run foremost foremost -Q -t all -i "$work/card.img" -o "$work/out-foremost"

python3 - "$here" "$work" <<'PY'
import json, os, sys
here, work = sys.argv[1], sys.argv[2]
placed = json.load(open(os.path.join(work, 'placed.json')))
samples = {}
for p in placed:
    samples.setdefault(p['sample'], [open(os.path.join(here, 'tests/data/samples', p['sample']), 'rb').read(),
                                     p['footer'], 0])
    samples[p['sample']][2] += 1
size = os.path.getsize(os.path.join(work, 'card.img'))
times = dict(line.split() for line in open(os.path.join(work, 'times.txt')))
print(f"{'tool':<16}{'recovered':>10}{'of':>6}{'false':>8}{'MB/s':>10}")
for tool in ['ours-quick', 'ours-thorough', 'photorec', 'foremost']:
    found = {name: 0 for name in samples}
    false_files = 0
    root = os.path.join(work, 'out-' + tool)
    for folder, _, files in os.walk(root):
        for f in files:
            if f in ('report.xml', 'audit.txt') or f.endswith('.log'):
                continue
            data = open(os.path.join(folder, f), 'rb').read()
            match = None
            for name, (sample, footer, _) in samples.items():
                if (data == sample) if footer else data.startswith(sample):
                    match = name
                    break
            if match is None:
                false_files += 1
                if os.environ.get('CARVE_KEEP') == '1':
                    print(f'  false: {tool} {f} {len(data)} bytes', file=sys.stderr)
            else:
                found[match] += 1
    recovered = sum(min(found[n], samples[n][2]) for n in samples)
    seconds = float(times.get(tool, 'nan'))
    print(f"{tool:<16}{recovered:>10}{len(placed):>6}{false_files:>8}{size / 1e6 / seconds:>10.0f}")
for tool in ['ours-quick-scan-only', 'ours-thorough-scan-only']:
    print(f"{tool:<24} (no saving) {size / 1e6 / float(times[tool]):>10.0f} MB/s")
print('MB/s: image size over wall time, saving included unless marked; thorough runs one pass per batch.')
PY
