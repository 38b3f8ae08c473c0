#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the benchmarks need.
# Idempotent: when everything is present it does nothing (no apt-get update).
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git clang-format
  googletest libgtest-dev libgmock-dev libbenchmark-dev time
  libfmt-dev nlohmann-json3-dev libcli11-dev
  nodejs
  libcairo2-dev libpango1.0-dev libzint-dev libcups2-dev fonts-dejavu-core fonts-liberation
  poppler-utils zbar-tools sqlite3 python3 libzbar-dev libpoppler-glib-dev libturbojpeg0-dev
  libxlsxwriter-dev libemf-dev libgif-dev libjpeg62-turbo-dev
  file imagemagick tidy libxml2-utils w3c-sgml-lib python3-openpyxl
  libreoffice-writer-nogui libreoffice-draw-nogui
  libsoci-dev libboost-dev libsqlite3-dev libpq-dev libsodium-dev libcpp-httplib-dev libssl-dev
  libcurl4-openssl-dev libzip-dev python3-aiosmtpd openssl
  qt6-base-dev libgl-dev
  postgresql postgresql-common
  clang libclang-rt-14-dev
  libharfbuzz-dev libfontconfig-dev libdeflate-dev qpdf
)

missing=()
for p in "${packages[@]}"; do
  # the machine's Node.js package carries npm itself; Debian's npm would conflict with it
  if [ "$p" = nodejs ] && command -v npm >/dev/null 2>&1; then continue; fi
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -eq 0 ]; then
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
