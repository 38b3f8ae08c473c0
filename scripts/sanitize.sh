#!/usr/bin/env bash
# Builds the whole tree with AddressSanitizer and UndefinedBehaviorSanitizer and runs every
# test on it (on SQLite). Usage: scripts/sanitize.sh [ctest arguments...]
# SANITIZE_BUILD_DIR overrides the build directory. Warnings are not errors here: the
# instrumentation makes GCC see uninitialised values that are not (the plain build is strict).
set -euo pipefail
cd "$(dirname "$0")/.."
build="${SANITIZE_BUILD_DIR:-build/sanitize}"
mkdir -p "$build"
# -O1 and line tables only keep the instrumented build short; reports still name file and line.
# No vptr check: it needs the type information of classes inside SOCI that its library keeps.
flags="-O1 -g1 -fsanitize=address,undefined -fno-sanitize=vptr -fno-sanitize-recover=undefined"
flags+=" -fno-omit-frame-pointer"
launcher=()
command -v ccache > /dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=None -DBOLETO_WERROR=OFF "${launcher[@]}" \
  -DBOLETO_BUILD_BENCH=OFF -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
  -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=address,undefined" \
  > "$build.configure.log" 2>&1 || { cat "$build.configure.log"; exit 1; }
cmake --build "$build" -j "$(nproc)"
# Leaks are reported too, except those of the system's libraries that keep caches for the
# life of the process (fonts, the type system of GLib, Qt's plugins).
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1"
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
cd "$build"
ctest --output-on-failure -j "$(nproc)" "$@"
