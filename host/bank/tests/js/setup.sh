#!/bin/sh
# Installs the validator of the cross-check into the build tree (npm ci from the lock file).
# Idempotent: an installed copy of the locked version is kept. A failed install fails the
# test run; it is never skipped.
set -eu
src=$(cd "$(dirname "$0")" && pwd)
dest=$1
mkdir -p "$dest"
want=$(node -e 'console.log(require(process.argv[1]).packages["node_modules/@brazilian-utils/brazilian-utils"].version)' "$src/package-lock.json")
have=$(node -e 'try{console.log(require(process.argv[1]).version)}catch(e){console.log("")}' "$dest/node_modules/@brazilian-utils/brazilian-utils/package.json")
cp "$src/package.json" "$src/package-lock.json" "$src/check-typed-lines.mjs" "$dest/"
if [ "$have" = "$want" ] && cmp -s "$src/package-lock.json" "$dest/.installed-lock.json" 2>/dev/null; then
  exit 0
fi
(cd "$dest" && npm ci --no-audit --no-fund --loglevel=error)
cp "$src/package-lock.json" "$dest/.installed-lock.json"
