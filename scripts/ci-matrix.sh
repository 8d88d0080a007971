#!/usr/bin/env bash
# The CI matrix, one leg after the other, each in its own build folder with every
# warning an error: GCC Release and GCC Debug (everything: engine, CLI, service,
# wizard, benches, every test), then the sanitizer configuration (ASan + UBSan) of
# the engine, the CLI and the service with their tests. Prints the seconds of each
# leg; stops at the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
started=$(date +%s)
legs=()
leg() {
  local name="$1"
  shift
  local from
  from=$(date +%s)
  echo "== CI leg $name: $*"
  TRELLMOND_BUILD_DIR="build-ci-$name" ./scripts/test.sh "$@"
  legs+=("$(printf '%-10s %5d s' "$name" $(($(date +%s) - from)))")
}
leg release -DCMAKE_BUILD_TYPE=Release
leg debug -DCMAKE_BUILD_TYPE=Debug
leg sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTRELLMOND_SANITIZE=ON -DTRELLMOND_BUILD_GUI=OFF
printf 'CI leg %s\n' "${legs[@]}"
echo "CI matrix: $(($(date +%s) - started)) s"
