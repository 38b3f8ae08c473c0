#!/bin/sh
# The .deb: built by cpack from the build tree (or the one named by BOLETO_DEB), unpacked into
# a throw-away root without root rights (dpkg-deb -x, then dpkg --root under fakeroot), its
# files, control data, maintainer scripts and systemd unit checked, and the programs installed
# there run.
set -u
build=$1
version=$2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
failures=0
fail() { echo "FAIL $*"; failures=$((failures + 1)); }

deb=${BOLETO_DEB:-}
if [ -z "$deb" ]; then
  if ! (cd "$dir" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$dir/out" >cpack.log 2>&1); then
    cat "$dir/cpack.log"
    echo "FAIL cpack did not build the package"
    exit 1
  fi
  deb=$(ls "$dir"/out/*.deb 2>/dev/null | head -1)
fi
[ -f "$deb" ] || { echo "FAIL no .deb ($deb)"; exit 1; }

# Control data.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = boleto ] || fail "package name: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "version: $(field Version), not $version"
case "$(field Depends)" in *libc6*) ;; *) fail "shared library dependencies missing: $(field Depends)" ;; esac
case "$(field Depends)" in *adduser*) ;; *) fail "adduser not a dependency: $(field Depends)" ;; esac
dpkg-deb -e "$deb" "$dir/control"
for script in postinst prerm postrm; do
  [ -x "$dir/control/$script" ] || fail "$script missing or not executable"
  sh -n "$dir/control/$script" || fail "$script: syntax"
done
grep -q 'getent passwd boleto' "$dir/control/postinst" || fail "postinst does not make the user"
grep -qx '/etc/default/boleto-server' "$dir/control/conffiles" || fail "conffiles: $(cat "$dir/control/conffiles")"

# The files, unpacked.
root="$dir/root"
dpkg-deb -x "$deb" "$root"
for f in usr/bin/boleto usr/bin/boleto-server usr/lib/boleto/boleto-desk; do
  [ -x "$root/$f" ] || fail "$f missing or not executable"
done
[ -f "$root/usr/lib/boleto/PKG_REC12000.so" ] || fail "the package PKG_REC12000.so is not beside boleto-desk"
[ -f "$root/usr/lib/boleto/REC01100.so" ] || fail "the collection letters REC01100.so are not beside boleto-desk"
[ "$(readlink "$root/usr/bin/boleto-desk")" = ../lib/boleto/boleto-desk ] ||
  fail "usr/bin/boleto-desk: $(readlink "$root/usr/bin/boleto-desk")"
src=$(cd "$(dirname "$0")/../.." && pwd)
for t in "$src"/templates/*.QR2; do
  cmp -s "$t" "$root/usr/share/boleto/templates/$(basename "$t")" || fail "template $(basename "$t") not installed as is"
done
[ -f "$root/etc/default/boleto-server" ] || fail "etc/default/boleto-server missing"
grep -q '^u boleto ' "$root/usr/lib/sysusers.d/boleto-server.conf" || fail "sysusers: the user boleto"
if find "$root" -path "$root/usr/local*" -o -path "*build*" | grep -q .; then
  fail "files outside the package's places: $(find "$root" -path "$root/usr/local*" -o -path '*build*')"
fi

# The unit.
unit="$root/usr/lib/systemd/system/boleto-server.service"
[ -f "$unit" ] || fail "the unit is missing"
for want in 'User=boleto' 'StateDirectory=boleto-server' 'StateDirectoryMode=0700' \
  'Environment=BOLETO_SECRET_KEY_FILE=/var/lib/boleto-server/secret.key' \
  'Environment=BOLETO_DB=/var/lib/boleto-server/boleto.db' \
  'ExecStart=/usr/bin/boleto-server serve --db ${BOLETO_DB} --listen ${BOLETO_LISTEN} $BOLETO_TLS' \
  'WantedBy=multi-user.target'; do
  grep -qxF "$want" "$unit" || fail "unit: no line $want"
done
if command -v systemd-analyze >/dev/null 2>&1; then
  # verify looks for the unit's program where the unit names it, and the targets it is wanted
  # by on this machine: the unit is checked with its program's path moved into the root.
  mkdir -p "$dir/units"
  sed "s|/usr/bin/boleto-server|$root/usr/bin/boleto-server|" "$unit" > "$dir/units/boleto-server.service"
  if ! out=$(systemd-analyze verify --man=no "$dir/units/boleto-server.service" 2>&1); then
    fail "systemd-analyze verify: $out"
  fi
  echo "systemd-analyze verify: ${out:-no remarks}"
else
  echo "systemd-analyze not present: the unit's lines only are checked"
fi

# The programs, run from the root.
out=$("$root/usr/bin/boleto-server" --version 2>&1); rc=$?
[ "$rc" -eq 0 ] && [ "$out" = "boleto-server $version" ] || fail "boleto-server --version: [$out] ($rc)"
out=$(BOLETO_PASSWORD=senha "$root/usr/bin/boleto-server" seed --demo --db "$dir/demo.db" 2>&1) ||
  fail "installed boleto-server seed: $out"
out=$("$root/usr/bin/boleto" pix --key 52998224725 --name Fulano --city Recife 2>&1) ||
  fail "installed boleto pix: $out"
# The installed command line finds the installed collection letters, not the build tree's.
out=$(cd "$dir" && BOLETO_PASSWORD=senha "$root/usr/bin/boleto" --db "$dir/demo.db" \
  letters --company 04 --dir "$dir/rel" 2>&1) ||
  fail "installed boleto letters: $out"

# The same package through dpkg itself, into a root of its own with its own database.
if command -v fakeroot >/dev/null 2>&1; then
  dpkgroot="$dir/dpkgroot"
  mkdir -p "$dpkgroot/var/lib/dpkg/info" "$dpkgroot/var/lib/dpkg/updates"
  : > "$dpkgroot/var/lib/dpkg/status"
  : > "$dpkgroot/var/lib/dpkg/available"
  if out=$(fakeroot dpkg --root="$dpkgroot" --log=/dev/null --force-not-root --force-depends \
    --force-script-chrootless --unpack "$deb" 2>&1); then
    [ -x "$dpkgroot/usr/bin/boleto-server" ] || fail "dpkg --root: boleto-server not unpacked"
    grep -q '^Package: boleto$' "$dpkgroot/var/lib/dpkg/status" || fail "dpkg --root: not recorded"
    echo "dpkg --root under fakeroot: unpacked"
  else
    fail "dpkg --root under fakeroot: $out"
  fi
fi

[ "$failures" -eq 0 ] && echo "package: all checks passed ($(basename "$deb"))"
[ "$failures" -eq 0 ]
