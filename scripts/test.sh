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
  -DBOLETO_BUILD_BENCH=ON -DBOLETO_TEST_POSTGRESQL=ON > "$build.configure.log" 2>&1 \
  || { cat "$build.configure.log"; exit 1; }
cmake --build "$build" -j "$(nproc)"
# The suites that store data run on SQLite and, prefixed "pg.", on a throw-away PostgreSQL
# cluster in a temporary directory (durability off: it is thrown away after the run).
(cd "$build" && pg_virtualenv -t -o fsync=off -o synchronous_commit=off \
  -o full_page_writes=off -o max_connections=300 \
  ctest --output-on-failure -j "$(nproc)" "$@")
# The readers of outside input fuzzed for a bounded time each (BOLETO_SKIP_FUZZ=1 leaves it
# out of a local run). The whole suite again with AddressSanitizer and
# UndefinedBehaviorSanitizer is a second full build of the tree: it runs when
# BOLETO_SANITIZE=1 asks for it, or on its own with scripts/sanitize.sh.
if [ "${BOLETO_SKIP_FUZZ:-0}" != 1 ]; then bash scripts/fuzz.sh "${BOLETO_FUZZ_SECONDS:-60}"; fi
if [ "${BOLETO_SANITIZE:-0}" = 1 ]; then bash scripts/sanitize.sh; fi
