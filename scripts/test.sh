#!/usr/bin/env bash
# Installs what is missing, configures, builds and runs every test. Arguments go to
# cmake (for example -DCMAKE_BUILD_TYPE=Release); --ci-matrix instead runs every leg of
# the CI matrix (scripts/ci-matrix.sh), as .ci/run does.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" = "--ci-matrix" ]; then exec ./scripts/ci-matrix.sh; fi
./scripts/install-deps.sh
build="${TRELLMOND_BUILD_DIR:-build}"
cmake -S . -B "$build" -G Ninja "$@"
cmake --build "$build"
ctest --test-dir "$build" --output-on-failure -j2
