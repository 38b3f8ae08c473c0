#!/usr/bin/env bash
# Pictures of the desktop's main screens for the README, taken from the real program
# without a display (Qt's offscreen platform) against a fresh demo database.
# Usage: scripts/screenshots.sh [output dir]   (default docs/screenshots; BUILD_DIR overrides
# the build directory)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
build="${BUILD_DIR:-build/release}"
out="${1:-docs/screenshots}"
mkdir -p "$build"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBOLETO_BUILD_TESTS=OFF \
  -DBOLETO_BUILD_BENCH=OFF > "$build.configure.log" 2>&1 || { cat "$build.configure.log"; exit 1; }
cmake --build "$build" -j "$(nproc)" --target boleto-desk boleto-server PKG_REC12000

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
password="demo-$$"
# The password goes through the environment: a command line is visible to every user.
export BOLETO_PASSWORD="$password"
"$build/apps/boleto-server/boleto-server" seed --demo --db "$work/boleto.db" >/dev/null
QT_QPA_PLATFORM=offscreen "$build/apps/boleto-desk/boleto-desk" --db "$work/boleto.db" \
  --user demo --company 04 --branch 0001 \
  --set "report-dir=$work/reports/" --screenshots "$out"
