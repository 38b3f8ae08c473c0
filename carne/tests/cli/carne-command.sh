#!/bin/sh
# `boleto carne` on a fresh embedded database: a carnê that cannot be written leaves the
# boletos pending; the one saved holds three boletos a page, each third of a page decoding to
# the barcode stored for a boleto of the account, now emitted; a second run finds nothing.
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
sql() { sqlite3 -batch -noheader b.db "$1"; }

"$boleto" --db b.db account 001 --company 04 >/dev/null 2>&1 || fail "no database"
pending=$(sql "SELECT COUNT(*) FROM BOLRECEBER WHERE CDEMPRESA='04' AND CDREDUCONT='001' AND IDSTATBREC <> 'E'")
[ "$pending" -gt 0 ] || fail "no pending boleto on account 001"

err=$("$boleto" --db b.db carne --company 04 --account 001 --out missing/c.pdf 2>&1); rc=$?
[ "$rc" -ne 0 ] || fail "a carnê into a missing folder succeeded: $err"
echo "$err" | grep -q 'Não foi possível gravar' || fail "no reason given: $err"
left=$(sql "SELECT COUNT(*) FROM BOLRECEBER WHERE CDEMPRESA='04' AND CDREDUCONT='001' AND IDSTATBREC <> 'E'")
[ "$left" -eq "$pending" ] || fail "a carnê not written emitted $((pending - left)) boletos"

out=$("$boleto" --db b.db carne --company 04 --account 001 --out c.pdf 2>err.txt); rc=$?
[ "$rc" -eq 0 ] || fail "carne exit status $rc: $(cat err.txt)"
echo "$out" | grep -q "Carnê de $pending boleto(s) em c.pdf" || fail "no summary: $out"
pages=$(pdfinfo c.pdf 2>/dev/null | sed -n 's/^Pages: *//p')
qpdf --check c.pdf > /dev/null 2>&1 || fail "qpdf finds errors in the carnê"
[ "$pages" -eq $(((pending + 2) / 3)) ] || fail "$pending boletos on $pages pages"
decoded=0
page=1
while [ "$page" -le "$pages" ]; do
  for third in 0 1 2; do
    y=$((118 + third * 1087))
    pdftoppm -r 300 -f "$page" -l "$page" -x 0 -y "$y" -W 2480 -H 1087 -singlefile -png c.pdf slip
    code=$(zbarimg --raw -q slip.png 2>/dev/null)
    [ -n "$code" ] || continue
    decoded=$((decoded + 1))
    found=$(sql "SELECT COUNT(*) FROM BOLRECEBER WHERE CDBARRAREC='$code' AND CDREDUCONT='001' AND IDSTATBREC='E'")
    [ "$found" -eq 1 ] || fail "page $page slip $((third + 1)): $code is no emitted boleto of account 001"
  done
  page=$((page + 1))
done
[ "$decoded" -eq "$pending" ] || fail "$decoded barcodes decoded for $pending boletos"
[ "$(sql "SELECT COUNT(*) FROM BOLRECEBER WHERE CDEMPRESA='04' AND CDREDUCONT='001' AND IDSTATBREC <> 'E'")" -eq 0 ] ||
  fail "boletos of account 001 still pending"

again=$("$boleto" --db b.db carne --company 04 --account 001 --out d.pdf 2>&1); rc=$?
[ "$rc" -eq 0 ] || fail "second run exit status $rc: $again"
echo "$again" | grep -q 'nada a imprimir' || fail "second run: $again"

[ "$failures" -eq 0 ] && echo "carne command: all checks passed ($pending boletos, $pages pages)"
[ "$failures" -eq 0 ]
