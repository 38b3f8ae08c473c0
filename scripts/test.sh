#!/usr/bin/env bash
# Installs what the build needs, checks the formatting, builds, and runs every test.
# This is what CI runs (.ci/run):
#   1. the whole tree built once, instrumented with AddressSanitizer and
#      UndefinedBehaviorSanitizer (-O1, warnings are errors), benchmarks compiled but not run;
#   2. every test on it: the suites that store data on SQLite and, prefixed "pg.", on a
#      throw-away PostgreSQL cluster; the desk tests (Qt offscreen) and the CLI scripts too;
#   3. the libFuzzer targets, 60 s each (scripts/fuzz.sh, a small clang build of its own).
# Usage: scripts/test.sh [ctest arguments...]
#   BOLETO_SANITIZE=0   the plain RelWithDebInfo build in build/ci instead (benchmarks are
#                       measured there: build/ci/bench/...)
#   BUILD_DIR           overrides the build directory (build/san, or build/ci)
#   BOLETO_SKIP_FUZZ=1  leaves the fuzz targets out; BOLETO_FUZZ_SECONDS changes their time
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/check-format.sh
launcher=()
command -v ccache > /dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
if [ "${BOLETO_SANITIZE:-1}" = 1 ]; then
  build="${BUILD_DIR:-build/san}"
  config=(-DCMAKE_BUILD_TYPE=None -DBOLETO_SANITIZE=ON)
  # Leaks are reported too, except those of the system's libraries that keep caches for the
  # life of the process (scripts/lsan.supp). The CLI scripts' and end-to-end tests' child
  # processes inherit these. Every report goes to a file in $reports, printed after the run:
  # a script that expects a command to fail would take a sanitizer's abort for that failure,
  # so any report there fails the run, whatever the tests said.
  reports="$(realpath -m "$build")/sanitizer-reports"
  rm -rf "$reports"
  mkdir -p "$reports"
  sanitizers=(
    ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1:log_path=$reports/asan:log_exe_name=1"
    LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
    UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:log_path=$reports/ubsan:log_exe_name=1")
else
  sanitizers=()
  build="${BUILD_DIR:-build/ci}"
  config=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DBOLETO_SANITIZE=OFF)
fi
mkdir -p "$build"
cmake -S . -B "$build" -G Ninja "${config[@]}" -DBOLETO_WERROR=ON "${launcher[@]}" \
  -DBOLETO_BUILD_BENCH=ON -DBOLETO_TEST_POSTGRESQL=ON > "$build.configure.log" 2>&1 \
  || { cat "$build.configure.log"; exit 1; }
cmake --build "$build" -j "$(nproc)"
# The throw-away cluster lives in a temporary directory, durability off: it is thrown away
# after the run.
status=0
(cd "$build" && pg_virtualenv -t -o fsync=off -o synchronous_commit=off \
  -o full_page_writes=off -o max_connections=300 \
  env "${sanitizers[@]}" ctest --output-on-failure -j "$(nproc)" "$@") || status=$?
if [ -n "${reports:-}" ] && [ -n "$(ls -A "$reports")" ]; then
  for f in "$reports"/*; do echo "== $f"; cat "$f"; done
  echo "sanitizer reports: $reports" >&2
  status=1
fi
[ "$status" = 0 ] || exit "$status"
if [ "${BOLETO_SKIP_FUZZ:-0}" != 1 ]; then bash scripts/fuzz.sh "${BOLETO_FUZZ_SECONDS:-60}"; fi
