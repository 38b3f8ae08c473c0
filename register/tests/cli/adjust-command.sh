#!/bin/sh
# `boleto adjust` and `boleto extend` on a fresh embedded database: what changed is printed
# and stored (a second run sees it), and refusals exit non-zero with the register's message
# and change nothing.
set -u
boleto=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir" || exit 1
"$boleto" account 001 --company 04 >/dev/null 2>&1 && mv data/boleto.db b.db || {
  echo "FAIL no demo database"
  exit 1
}
# The demo boletos are emitted and due around today: the new dates follow the clock.
to=$(date -d '+200 days' +%d/%m/%Y)
later=$(date -d '+230 days' +%d/%m/%Y)
failures=0
fail() { echo "FAIL $1"; failures=$((failures + 1)); }
has() {  # has NAME TEXT FRAGMENT
  case "$2" in *"$3"*) ;; *) fail "$1: [$2] lacks [$3]" ;; esac
}

out=$("$boleto" --db b.db adjust --company 04 --boleto 0001/1 --type 3 --value 20,10 2>&1); rc=$?
[ "$rc" -eq 0 ] || fail "adjust status $rc: $out"
has "type padded" "$out" "Ajuste 0003 Desconto antecipação: 20,10"
has "net value" "$out" "Valor líquido: 1.520,40 -> 1.500,30"

err=$("$boleto" --db b.db adjust --company 04 --boleto 0001/1 --type 0003 --value 1 2>&1); rc=$?
[ "$rc" -ne 0 ] || fail "a second adjustment of one type succeeded"
has "one per type" "$err" "Já existe ajuste deste tipo"

err=$("$boleto" --db b.db adjust --company 04 --boleto 0001/2 --type 1 --value 830 2>&1); rc=$?
[ "$rc" -ne 0 ] || fail "a discount of the whole value succeeded"
has "discount below the value" "$err" "menor que o valor do boleto"
out=$("$boleto" --db b.db adjust --company 04 --boleto 0001/2 --type 2 --value 0,10 2>&1); rc=$?
[ "$rc" -eq 0 ] || fail "addition status $rc: $out"
has "addition" "$out" "Valor líquido: 830,00 -> 830,10"

err=$("$boleto" --db b.db adjust --company 04 --boleto 0001/3 --type 2 --value 5 2>&1); rc=$?
[ "$rc" -ne 0 ] || fail "an emitted boleto was adjusted without --yes"
has "emitted: asks first" "$err" "--yes para confirmar"
out=$("$boleto" --db b.db adjust --company 04 --boleto 0001/3 --type 2 --value 5 --yes 2>&1); rc=$?
[ "$rc" -eq 0 ] || fail "emitted with --yes status $rc: $out"
has "emitted adjusted" "$out" "Valor líquido: 215,90 -> 220,90"

out=$("$boleto" --db b.db extend --company 04 --boleto 0001/1 --to "$to" --reason 1 2>&1); rc=$?
[ "$rc" -eq 0 ] || fail "extend status $rc: $out"
has "due date moved" "$out" "-> $to"
has "one extended" "$out" "1 boleto(s) prorrogado(s)"
again=$("$boleto" --db b.db extend --company 04 --boleto 0001/1 --to "$to" --reason 1 2>&1)
has "stored" "$again" "0 boleto(s) prorrogado(s)"

err=$("$boleto" --db b.db extend --company 04 --boleto 0001/1 --to "$to" --reason 77 2>&1); rc=$?
[ "$rc" -ne 0 ] || fail "an unknown reason succeeded"
has "unknown reason" "$err" "Motivo de prorrogação não cadastrado."

out=$("$boleto" --db b.db extend --company 04 --marked 0001/2,0001/3 --to "$later" \
  --reason 2 --drop-number 2>&1); rc=$?
[ "$rc" -eq 0 ] || fail "extend marked status $rc: $out"
has "not sent: extended" "$out" "0001/0000000002"
has "its number given up" "$out" "Nosso número: "
has "emitted: listed as not extended" "$out" "não puderam ser prorrogados"
has "one of two" "$out" "1 boleto(s) prorrogado(s)"

err=$("$boleto" --db b.db extend --company 04 --boleto 0001/1 --marked 0001/2 --to "$to" \
  --reason 1 2>&1); rc=$?
[ "$rc" -ne 0 ] || fail "--boleto with --marked succeeded"

[ "$failures" -eq 0 ] && echo "adjust and extend commands: all checks passed"
exit "$failures"
