#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer)
# and runs each from its seed corpus in fuzz/corpus for a bounded time, two at a time.
# Usage: scripts/fuzz.sh [seconds per target, default 60] [target ...]
# A crash fails the script and leaves the input in $build/crashes/<target>/; make it a test.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
shift || true
targets=("$@")
[ "${#targets[@]}" -eq 0 ] && targets=(wire packet template codes filter)
build="${FUZZ_BUILD_DIR:-build/fuzz}"
mkdir -p "$build"
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined"
flags+=" -fno-omit-frame-pointer"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_CXX_FLAGS="$flags" -DBOLETO_FUZZ=ON -DBOLETO_BUILD_TESTS=OFF -DBOLETO_BUILD_BENCH=OFF \
  -DBOLETO_FOLDERS="host;host/bank;records;remote;report;fuzz" > "$build.configure.log" 2>&1 \
  || { cat "$build.configure.log"; exit 1; }
cmake --build "$build" -j "$(nproc)" --target "${targets[@]/#/fuzz_}"

run() {
  local name="$1" work="$build/corpus/$1" crashes="$build/crashes/$1"
  mkdir -p "$work" "$crashes"
  local seeds=("fuzz/corpus/$name")
  # The shipped templates are the template parser's seeds too.
  [ "$name" = template ] && seeds+=(templates)
  if ! UBSAN_OPTIONS=print_stacktrace=1 "$build/fuzz/fuzz_$name" -max_total_time="$seconds" \
      -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$crashes/" \
      "$work" "${seeds[@]}" > "$build/fuzz_$name.log" 2>&1; then
    echo "fuzz: $name crashed; the input is in $crashes" >&2
    tail -n 60 "$build/fuzz_$name.log" >&2
    return 1
  fi
  echo "fuzz: $name ran ${seconds}s: $(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' \
    "$build/fuzz_$name.log" | grep -o '[0-9]*$') inputs, no crash"
}

status=0
pids=()
for t in "${targets[@]}"; do
  run "$t" &
  pids+=($!)
  if [ "${#pids[@]}" -ge "$(nproc)" ]; then
    wait "${pids[0]}" || status=1
    pids=("${pids[@]:1}")
  fi
done
for p in "${pids[@]}"; do wait "$p" || status=1; done
exit $status
