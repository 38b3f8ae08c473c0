#!/bin/sh
# `boleto payment-types` and `boleto associate --boleto` as an operator calls them on a fresh
# demo database: rows that add up are stored and listed back, rows that do not are refused
# with nothing stored; the register's association joins one customer's boletos into one.
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
fail() { echo "FAIL $1"; failures=$((failures + 1)); }
has() {  # has NAME TEXT FRAGMENT
  case "$2" in *"$3"*) ;; *) fail "$1: [$2] lacks [$3]" ;; esac
}

out=$("$boleto" --db b.db payment-types --company 04 --boleto 0001/1 2>&1); rc=$?
[ "$rc" -eq 0 ] || fail "list status $rc: $out"
has "demo cash row" "$out" "01 001 Dinheiro 1.000,00"
has "demo cheque row with the bank's masks" "$out" "cheque 000123 banco 237 agência 1234-"

out=$("$boleto" --db b.db payment-types --company 04 --boleto 0001/2 --add 1=300 \
  --add "4,card=1/4111" 2>&1); rc=$?
[ "$rc" -eq 0 ] || fail "add status $rc: $out"
has "cash stored" "$out" "01 001 Dinheiro 300,00"
has "the rest on the card" "$out" "02 004 Cartão 530,00 cartão 001 Cartão de crédito"

out=$("$boleto" --db b.db payment-types --company 04 --boleto 0001/2 --clear --yes 2>&1); rc=$?
[ "$rc" -eq 0 ] || fail "clear status $rc: $out"
has "cleared" "$out" "nenhum tipo de recebimento"

out=$("$boleto" --db b.db payment-types --company 04 --boleto 0001/2 --add 1=300 --add 2=500 2>&1)
rc=$?
[ "$rc" -ne 0 ] || fail "rows that do not add up were accepted: $out"
has "refusal" "$out" "A soma dos tipos de recebimento deve ser igual ao valor do boleto."
out=$("$boleto" --db b.db payment-types --company 04 --boleto 0001/2 2>&1)
has "nothing stored" "$out" "nenhum tipo de recebimento"

out=$("$boleto" --db b.db payment-types --company 04 --boleto 0001/2 --add 9 2>&1); rc=$?
[ "$rc" -ne 0 ] || fail "an unknown type was accepted: $out"
has "unknown type" "$out" "Tipo de recebimento não cadastrado."

out=$("$boleto" --db b.db payment-types --company 04 --boleto 12 2>&1); rc=$?
[ "$rc" -ne 0 ] || fail "a malformed key was accepted: $out"

# Two open boletos of one customer joined by the register's association.
"$boleto" --db b.db payment-types --company 04 --boleto 0001/2 >/dev/null 2>&1
out=$("$boleto" --db b.db associate --company 04 --boleto 0001/1,0001/2 --account 2 --type 1 \
  --yes 2>&1); rc=$?
[ "$rc" -ne 0 ] || fail "boletos of two customers were associated: $out"
has "two customers refused" "$out" "clientes ou licenças de uso diferentes"

# Beta gets a second open boleto: both become one, for exactly their total.
sqlite3 -batch b.db "INSERT INTO BOLRECEBER (CDFILIAL, NRLANBOLREC, CDEMPRESA, CDCLIENTE, \
  VRBOLREC, VRFINALBREC, DTVENBOLREC, DTEMISSAO, IDSTATBREC, CDREDUCONT, IDSITUCNABR, \
  IDTPCTRECEBER) VALUES \
  ('0001', '0000000090', '04', '000000000000000000102', 100.10, 100.10, '2030-05-20', \
  '2020-03-01', 'A', '001', '00', 'N')"
out=$("$boleto" --db b.db associate --company 04 --boleto 0001/2 --boleto 0001/90 --account 2 \
  --type 1 --yes 2>&1); rc=$?
[ "$rc" -eq 0 ] || fail "associate status $rc: $out"
has "new boleto for the total" "$out" "valor 930,10 (2 boletos associados)"
closed=$(sqlite3 -batch -noheader b.db "SELECT COUNT(*) FROM BOLRECEBER WHERE CDFILIAL = '0001' \
  AND NRLANBOLREC IN ('0000000002', '0000000090') AND IDSTATBREC = 'B'")
[ "$closed" = "2" ] || fail "the joined boletos are not closed: $closed"

[ "$failures" -eq 0 ] && echo "OK" && exit 0
exit 1
