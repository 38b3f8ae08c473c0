#!/usr/bin/env bash
# Installs, builds and runs the main job on the embedded default.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
build="${BUILD_DIR:-build/release}"
mkdir -p "$build"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBOLETO_BUILD_TESTS=OFF \
  -DBOLETO_BUILD_BENCH=OFF > "$build.configure.log" 2>&1 || { cat "$build.configure.log"; exit 1; }
cmake --build "$build" -j "$(nproc)" --target boleto
"$build/apps/boleto/boleto" --help
"$build/apps/boleto/boleto" selfcheck
# The embedded default: data/boleto.db is created, migrated and seeded when missing.
"$build/apps/boleto/boleto" account 001 --company 04
# The register's list of that company, every due date, as the register shows it.
"$build/apps/boleto/boleto" register --company 04 --all-dates
# The emission road: the pending boletos of account 001 marked and emitted as PDF files into
# ./out/Boletos_Emitidos/<today>/ (a second run finds nothing pending and emits nothing).
"$build/apps/boleto/boleto" emit --company 04 --account 001 --dir ./out
