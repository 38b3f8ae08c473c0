#!/bin/sh
# `boleto credit` on a fresh embedded database: an advance, a devolution and a credit note of
# one customer discount its boletos by exactly what was used; a credit asked for beyond what
# is left is refused and leaves every value as it was.
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
cents() { sql "SELECT CAST(ROUND(($1) * 100) AS INTEGER)"; }
net() { cents "(SELECT VRFINALBREC FROM BOLRECEBER WHERE CDFILIAL = '0001' AND NRLANBOLREC = '$1')"; }
advance() { cents "(SELECT VRSALDOADIANT FROM ADIANTAMENTO WHERE CDFILIAL = '0001' AND NRADIANTREC = '0000000001')"; }
credit() { "$boleto" --db b.db credit --company 04 "$@"; }

net2=$(net 0000000002)
net7=$(net 0000000007)
out=$(credit --kind advance --boleto 0001/0000000002 --credit 0001/0000000001 --amount 100.10 --type 5 2>&1) ||
  fail "advance: $out"
[ "$(net 0000000002)" -eq $((net2 - 10010)) ] || fail "advance: net $(net 0000000002), expected $((net2 - 10010))"
[ "$(advance)" -eq 19990 ] || fail "advance: $(advance) left, expected 19990"

out=$(credit --kind advance --boleto 0001/0000000007 --credit 0001/0000000001 --amount 199.91 --type 5 2>&1) &&
  fail "more than the advance holds was taken: $out"
echo "$out" | grep -q 'valor disponível' || fail "no reason for the refusal: $out"
[ "$(advance)" -eq 19990 ] || fail "refused advance changed the balance: $(advance)"
[ "$(net 0000000007)" -eq "$net7" ] || fail "refused advance changed the boleto"

out=$(credit --kind devolution --boleto 0001/0000000007 --credit 0001/0000000002 --amount 30 --type 6 2>&1) ||
  fail "devolution: $out"
[ "$(net 0000000007)" -eq $((net7 - 3000)) ] || fail "devolution: net $(net 0000000007)"
left=$(cents "(SELECT VRSALDODEVOL FROM DEVOLUCAO WHERE CDFILIAL = '0001' AND NRDEVOLREC = '0000000002')")
[ "$left" -eq 5000 ] || fail "devolution: $left left, expected 5000"

out=$(credit --kind note --boleto 0001/0000000002 --credit 0001/0000000002 --amount 25.50 --type 7 2>&1) ||
  fail "note: $out"
[ "$(net 0000000002)" -eq $((net2 - 10010 - 2550)) ] || fail "note: net $(net 0000000002)"
out=$(credit --kind note --boleto 0001/0000000007 --credit 0001/0000000002 --amount 25.50 --type 7 2>&1) &&
  fail "a credit note was used twice: $out"
[ "$(net 0000000007)" -eq $((net7 - 3000)) ] || fail "a refused note changed the boleto"
used=$(sql "SELECT COUNT(*) FROM CREDITOUSO")
[ "$used" -eq 3 ] || fail "$used credit uses recorded, expected 3"

[ "$failures" -eq 0 ] && echo "credit command: all checks passed"
[ "$failures" -eq 0 ]
