#!/bin/sh
# `boleto letters` on a fresh embedded database: a package that is not where it was named is
# refused with the place looked in and writes nothing; on a processing date when nothing is
# overdue no letter is written; on a later one, one letter per customer with boletos owed
# (emitted or not) overdue, each listing them with their total to the centavo.
set -u
boleto=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir" || exit 1
"$boleto" account 001 --company 04 >/dev/null 2>&1 && mv data/boleto.db b.db || {
  echo "FAIL no demo database"
  exit 1
}
failures=0
fail() { echo "FAIL $*"; failures=$((failures + 1)); }
sql() { sqlite3 -batch -noheader b.db "$1"; }
run() { "$boleto" --db b.db "$@"; }

err=$(run letters --company 04 --dir rel --package-dir "$dir/nowhere" 2>&1); rc=$?
[ "$rc" -eq 1 ] || fail "a missing package: exit status $rc"
echo "$err" | grep -qF "Pacote REC01100 não encontrado: $dir/nowhere/REC01100.so" ||
  fail "the missing package is not named with its place: $err"
[ ! -e rel ] || fail "letters written without their package"

out=$(run --set processing-date=01/01/1990 letters --company 04 --dir rel 2>err.txt); rc=$?
[ "$rc" -eq 0 ] || fail "nothing overdue: exit status $rc: $(cat err.txt)"
grep -q "Nenhum boleto vencido em aberto" err.txt || fail "nothing overdue was not said: $(cat err.txt)"
[ ! -e rel/Cartas_Cobranca ] || fail "letters written with nothing overdue"

# Owed: pending or emitted, not written off, due before the processing date.
open="B.CDEMPRESA = '04' AND B.IDSTATBREC IN ('A', 'E') AND COALESCE(B.NRBAIXAREC, '') = '' AND B.DTVENBOLREC < '2099-06-01'"
[ "$(sql "SELECT COUNT(*) FROM BOLRECEBER B WHERE $open AND B.IDSTATBREC = 'E'")" -gt 0 ] ||
  fail "the demo data has no emitted boleto owed"
customers=$(sql "SELECT COUNT(DISTINCT B.CDCLIENTE) FROM BOLRECEBER B JOIN CLIENTE C ON C.CDCLIENTE = B.CDCLIENTE WHERE $open")
[ "$customers" -gt 1 ] || fail "the demo data has $customers customers with open boletos"
out=$(run --set processing-date=01/06/2099 letters --company 04 --dir rel 2>err.txt); rc=$?
[ "$rc" -eq 0 ] || fail "letters: exit status $rc: $(cat err.txt)"
echo "$out" | grep -qF "$customers carta(s) de cobrança gravada(s) em rel/Cartas_Cobranca/2099-06-01" ||
  fail "no summary of $customers letters: $out"
[ "$(ls rel/Cartas_Cobranca/2099-06-01 | wc -l)" -eq "$customers" ] ||
  fail "letters written: $(ls rel/Cartas_Cobranca/2099-06-01)"
sql "SELECT TRIM(B.CDCLIENTE), CAST(ROUND(SUM(B.VRFINALBREC) * 100) AS INTEGER), COUNT(*) FROM BOLRECEBER B JOIN CLIENTE C ON C.CDCLIENTE = B.CDCLIENTE WHERE $open GROUP BY B.CDCLIENTE" >totals.txt
while IFS='|' read -r customer centavos count; do
  letter=rel/Cartas_Cobranca/2099-06-01/Carta_$customer.txt
  [ -f "$letter" ] || { fail "no letter for customer $customer"; continue; }
  reais=$(printf '%d,%02d' $((centavos / 100)) $((centavos % 100)) |
    sed -e ':a' -e 's/^\([0-9]\+\)\([0-9]\{3\}\)/\1.\2/' -e 'ta')
  grep -qF "Total em aberto: R\$ $reais" "$letter" || fail "$letter: total is not R\$ $reais"
  grep -qF "vencidos até 01/06/2099" "$letter" || fail "$letter: not dated by the processing date"
  listed=$(grep -c '^  [0-9]\{4\}/' "$letter")
  [ "$listed" -eq "$count" ] || fail "$letter lists $listed boletos, not $count"
done <totals.txt

[ "$failures" -eq 0 ] && echo "letters command: all checks passed ($customers letters)"
[ "$failures" -eq 0 ]
