#!/bin/sh
# Installs a cross-check's validator into the build tree (npm ci from the lock file) beside
# its scripts: setup.sh DEST [SRC], SRC being the folder of package.json, package-lock.json
# and the *.mjs scripts (default: this one). Idempotent: an installed copy of the locked
# version is kept. A failed install fails the test run; it is never skipped.
set -eu
src=${2:-$(dirname "$0")}
src=$(cd "$src" && pwd)
dest=$1
mkdir -p "$dest"
want=$(node -e 'console.log(require(process.argv[1]).packages["node_modules/@brazilian-utils/brazilian-utils"].version)' "$src/package-lock.json")
have=$(node -e 'try{console.log(require(process.argv[1]).version)}catch(e){console.log("")}' "$dest/node_modules/@brazilian-utils/brazilian-utils/package.json")
cp "$src/package.json" "$src/package-lock.json" "$src"/*.mjs "$dest/"
if [ "$have" = "$want" ] && cmp -s "$src/package-lock.json" "$dest/.installed-lock.json" 2>/dev/null; then
  exit 0
fi
(cd "$dest" && npm ci --no-audit --no-fund --loglevel=error)
cp "$src/package-lock.json" "$dest/.installed-lock.json"
