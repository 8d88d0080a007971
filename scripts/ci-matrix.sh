#!/usr/bin/env bash
# The CI matrix, one leg after the other, each in its own build folder with every
# warning an error: GCC Release of everything (engine, CLI, service, wizard, benches,
# every test), then GCC Debug and the sanitizer build (ASan + UBSan, at Debug, where it
# compiles fastest and optimises nothing away) of the engine, the CLI and the service
# with their tests. Prints the seconds of each leg; stops at the first failure.
# Where ccache is installed, compiles go through it with paths taken relative to the
# checkout, so a later run in another clone on the same machine reuses them.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
common=()
if command -v ccache >/dev/null; then
  export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=true
  common+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
started=$(date +%s)
legs=()
leg() {
  local name="$1"
  shift
  local from
  from=$(date +%s)
  echo "== CI leg $name: $*"
  TRELLMOND_BUILD_DIR="build-ci-$name" ./scripts/test.sh "${common[@]}" "$@"
  legs+=("$(printf '%-10s %5d s' "$name" $(($(date +%s) - from)))")
}
leg release -DCMAKE_BUILD_TYPE=Release
leg debug -DCMAKE_BUILD_TYPE=Debug -DTRELLMOND_BUILD_GUI=OFF
leg sanitize -DCMAKE_BUILD_TYPE=Debug -DTRELLMOND_SANITIZE=ON -DTRELLMOND_BUILD_GUI=OFF
printf 'CI leg %s\n' "${legs[@]}"
if command -v ccache >/dev/null; then ccache --show-stats | grep -iE 'hits|misses' | head -3 || true; fi
echo "CI matrix: $(($(date +%s) - started)) s"
