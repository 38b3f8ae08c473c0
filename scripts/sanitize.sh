#!/usr/bin/env bash
# The sanitized build and its whole test suite (SQLite and PostgreSQL) without the fuzz
# targets: scripts/test.sh's default, kept under this name for a local run.
# Usage: scripts/sanitize.sh [ctest arguments...]   (BUILD_DIR overrides build/san)
set -euo pipefail
cd "$(dirname "$0")/.."
BOLETO_SANITIZE=1 BOLETO_SKIP_FUZZ=1 exec bash scripts/test.sh "$@"
