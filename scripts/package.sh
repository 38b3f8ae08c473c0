#!/usr/bin/env bash
# Builds the .deb of boleto, boleto-server and boleto-desk, with the package, the templates and
# the service's systemd unit, into dist/.
# Usage: scripts/package.sh   (BUILD_DIR overrides the build directory, build/package)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${BUILD_DIR:-build/package}"
mkdir -p "$build"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBOLETO_BUILD_TESTS=OFF \
  -DBOLETO_BUILD_BENCH=OFF > "$build.configure.log" 2>&1 || { cat "$build.configure.log"; exit 1; }
cmake --build "$build" -j "$(nproc)" --target boleto boleto-server boleto-desk PKG_REC12000 REC01100
dist="$PWD/dist"
mkdir -p "$dist"
(cd "$build" && cpack -G DEB -B "$dist")
ls -1 dist/*.deb
