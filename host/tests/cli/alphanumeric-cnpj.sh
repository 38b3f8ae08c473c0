#!/bin/sh
# An alphanumeric CNPJ from the demo data through the register's filter to the emitted boleto:
# the payer's registration is printed with its letters in the PDF and kept in the file name.
set -u
boleto=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir" || exit 1
# The test's own demo database: only the embedded default is created on first use, so it is
# made there and moved.
"$boleto" account 001 --company 04 >/dev/null 2>&1 && mv data/boleto.db b.db || {
  echo "FAIL no demo database"
  exit 1
}
failures=0
fail() { echo "FAIL $*"; failures=$((failures + 1)); }

out=$("$boleto" --db b.db emit --company 04 --account 009 --dir out 2>err.txt); rc=$?
[ "$rc" -eq 0 ] || fail "emit exit status $rc: $(cat err.txt)"
stored=$(sqlite3 -batch -noheader b.db "SELECT NRINSJURCLIE FROM CLIENTE WHERE CDCLIENTE = '000000000000000000108'")
[ "$stored" = "12ABC34501DE35" ] || fail "stored registration [$stored]"
pdf=$(ls out/Boletos_Emitidos/*/12ABC34501DE35_* 2>/dev/null | head -1)
[ -n "$pdf" ] || fail "no PDF named by the registration: $(ls -R out)"
case "$pdf" in */12ABC34501DE35_EPSILONEVENTOSEFESTASLTDA_*.pdf) ;; *) fail "file name $pdf" ;; esac
[ -z "$pdf" ] || pdftotext -layout "$pdf" - | grep -q "12\.ABC\.345/01DE-35" ||
  fail "the PDF does not show 12.ABC.345/01DE-35"

[ "$failures" -eq 0 ] && echo "alphanumeric CNPJ: all checks passed"
[ "$failures" -eq 0 ]
