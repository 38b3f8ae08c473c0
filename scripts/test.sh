#!/usr/bin/env bash
# Installs what the build needs, configures, builds and runs every test.
# Usage: scripts/test.sh [ctest arguments...]   (BUILD_DIR overrides the build directory)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/check-format.sh
build="${BUILD_DIR:-build/ci}"
mkdir -p "$build"
werror=ON
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBOLETO_WERROR=$werror \
  -DBOLETO_BUILD_BENCH=ON > "$build.configure.log" 2>&1 || { cat "$build.configure.log"; exit 1; }
cmake --build "$build" -j "$(nproc)"
cd "$build"
ctest --output-on-failure -j "$(nproc)" "$@"
