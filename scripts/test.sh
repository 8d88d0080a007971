#!/usr/bin/env bash
# Installs what is missing, configures, builds and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
build="${TRELLMOND_BUILD_DIR:-build}"
cmake -S . -B "$build" -G Ninja "$@"
cmake --build "$build"
ctest --test-dir "$build" --output-on-failure -j2
