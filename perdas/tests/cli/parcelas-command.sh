#!/bin/sh
# `boleto split`, `boleto cancel` and `boleto write-off --loss` on a fresh embedded database:
# a split that does not add up is refused and stores nothing, deleting the last instalment
# gives the boleto back, a cancelled emission keeps its nosso número, a write-off by loss is
# whole and a second one refused.
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

out=$("$boleto" --db b.db split --company 04 --boleto 0001/1 --values 1000.00,520.39 --yes 2>&1); rc=$?
[ "$rc" -ne 0 ] || fail "a split one centavo short went through: $out"
has "refusal" "$out" "Soma das parcelas deve ser igual ao valor original do boleto."

out=$("$boleto" --db b.db split --company 04 --boleto 0001/1 --values 1000.00,520.40 \
  --dues 10/05/2099 --yes 2>&1); rc=$?
[ "$rc" -eq 0 ] || fail "split status $rc: $out"
has "first instalment" "$out" "01 0001/0000000001"
has "its value" "$out" "1.000,00"
has "second instalment" "$out" "10/05/2099 520,40"

out=$("$boleto" --db b.db split --company 04 --boleto 0001/1 --delete-last --yes 2>&1); rc=$?
[ "$rc" -eq 0 ] || fail "delete status $rc: $out"
has "the boleto back" "$out" "00 0001/0000000001"
has "its whole value" "$out" "1.520,40"

out=$("$boleto" --db b.db cancel --company 04 --boleto 0001/3 --yes 2>&1); rc=$?
[ "$rc" -eq 0 ] || fail "cancel status $rc: $out"
has "pending again with its number" "$out" "0001/0000000003 A nosso número 1"

out=$("$boleto" --db b.db write-off --loss --company 04 --boleto 0001/9,0001/1 --account 1 \
  --type 2 --date 02/03/2026 2>&1); rc=$?
[ "$rc" -eq 0 ] || fail "write-off status $rc: $out"
has "written off" "$out" "2 boleto(s) baixado(s) por perda: 2.160,40"

out=$("$boleto" --db b.db write-off --loss --company 04 --boleto 0001/1 --account 1 --type 2 \
  --date 02/03/2026 2>&1); rc=$?
[ "$rc" -ne 0 ] || fail "a second write-off went through: $out"
has "refused" "$out" "baixado por outro usuário"

out=$("$boleto" --db b.db write-off --loss --company 04 --boleto 0001/2 --account 999 --type 2 \
  --date 02/03/2026 2>&1); rc=$?
[ "$rc" -ne 0 ] || fail "an unknown account went through: $out"
has "account refused" "$out" "Conta corrente não cadastrada."

[ "$failures" -eq 0 ] && echo "OK"
exit "$failures"
