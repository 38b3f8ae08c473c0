#!/usr/bin/env bash
# The README's picture of a boleto with its Pix QR code: the demo account with a Pix key
# emitted by `boleto emit` on a fresh demo database (the service builds the text), its PDF
# drawn at 110 dpi, the payment slip cut out.
# Usage: scripts/pix-picture.sh [output png]   (default docs/screenshots/boleto-pix.png;
# BUILD_DIR overrides the build directory)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${BUILD_DIR:-build/release}"
out="${1:-docs/screenshots/boleto-pix.png}"
if [ ! -x "$build/apps/boleto/boleto" ]; then
  mkdir -p "$build"
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBOLETO_BUILD_TESTS=OFF \
    -DBOLETO_BUILD_BENCH=OFF > "$build.configure.log" 2>&1 || { cat "$build.configure.log"; exit 1; }
  cmake --build "$build" -j "$(nproc)" --target boleto
fi
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# In the work folder: the emission keeps the templates it fetches in ./reports.
boleto="$(cd "$build" && pwd)/apps/boleto/boleto"
(cd "$work" && "$boleto" --db boleto.db emit --company 04 --account 002 --reissue --dir out >/dev/null)
pdf=$(ls "$work"/out/Boletos_Emitidos/*/*.pdf | head -1)
pdftoppm -r 110 -f 1 -l 1 -png "$pdf" "$work/page"
# The payment slip: from the cut line above the bank's header to below the QR's text.
convert "$work"/page*.png -crop 862x650+24+262 +repage -bordercolor '#bbbbbb' -border 1 "$out"
echo "$out"
