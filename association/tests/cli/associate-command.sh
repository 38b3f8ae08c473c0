#!/bin/sh
# `boleto associate` on a fresh embedded database: customers with a single open boleto give
# nothing to associate; once a customer holds two, they become one new boleto for exactly
# their total, and both are closed.
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
args="--company 04 --due 30/12/2030 --account 001 --type 01"

"$boleto" --db b.db account 001 --company 04 >/dev/null 2>&1 || fail "no database"
first=$(sql "SELECT CDFILIAL || NRLANBOLREC FROM BOLRECEBER WHERE CDEMPRESA='04' AND IDSTATBREC='A' ORDER BY CDFILIAL, NRLANBOLREC LIMIT 1")
second=$(sql "SELECT CDFILIAL || NRLANBOLREC FROM BOLRECEBER WHERE CDEMPRESA='04' AND IDSTATBREC='A' ORDER BY CDFILIAL, NRLANBOLREC LIMIT 1 OFFSET 1")
customer=$(sql "SELECT CDCLIENTE FROM BOLRECEBER WHERE CDFILIAL || NRLANBOLREC = '$first'")

err=$("$boleto" --db b.db associate $args --customers "$customer" 2>&1); rc=$?
[ "$rc" -ne 0 ] || fail "one boleto was associated: $err"
echo "$err" | grep -q 'Não foram encontrados Boletos para serem associados' || fail "no reason: $err"

sql "UPDATE BOLRECEBER SET CDCLIENTE = '$customer' WHERE CDFILIAL || NRLANBOLREC = '$second'"
sql "UPDATE CTRECEBER SET CDCLIENTE = '$customer' WHERE CDFILBOLREC || NRLANBOLREC = '$second'"
total=$(sql "SELECT CAST(ROUND(SUM(VRFINALBREC) * 100) AS INTEGER) FROM BOLRECEBER WHERE CDFILIAL || NRLANBOLREC IN ('$first', '$second')")
out=$("$boleto" --db b.db associate $args --customers "$customer" 2>err.txt); rc=$?
[ "$rc" -eq 0 ] || fail "associate exit status $rc: $(cat err.txt)"
new=$(echo "$out" | sed -n 's/^1 boleto(s) novo(s): \([0-9]*\)\/\([0-9]*\)$/\1\2/p')
[ -n "$new" ] || fail "no new boleto named: $out"
got=$(sql "SELECT CAST(ROUND(VRFINALBREC * 100) AS INTEGER) || '|' || CDCLIENTE || '|' || IDSTATBREC FROM BOLRECEBER WHERE CDFILIAL || NRLANBOLREC = '$new'")
[ "$got" = "$total|$customer|A" ] || fail "new boleto $new: $got, expected $total|$customer|A"
closed=$(sql "SELECT COUNT(*) FROM BOLRECEBER WHERE CDFILIAL || NRLANBOLREC IN ('$first', '$second') AND IDSTATBREC = 'B'")
[ "$closed" -eq 2 ] || fail "$closed of the two replaced boletos closed"

[ "$failures" -eq 0 ] && echo "associate command: all checks passed"
[ "$failures" -eq 0 ]
