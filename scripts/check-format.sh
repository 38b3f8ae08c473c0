#!/usr/bin/env bash
# Fails, naming the files, when a tracked C++ file is not laid out as .clang-format says.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v clang-format >/dev/null; then
  echo "check-format: clang-format is not installed" >&2
  exit 1
fi
bad=()
while IFS= read -r f; do
  if ! clang-format --dry-run --Werror "$f" >/dev/null 2>&1; then bad+=("$f"); fi
done < <(git ls-files '*.cpp' '*.h')
if [ "${#bad[@]}" -ne 0 ]; then
  echo "check-format: not formatted (run clang-format -i on them):" >&2
  printf '  %s\n' "${bad[@]}" >&2
  exit 1
fi
