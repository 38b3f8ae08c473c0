#!/bin/sh
# `boleto update` as an operator calls it on a fresh embedded database: what changed is
# printed, stored, and a second run finds nothing to change; refusals exit non-zero with the
# register's message.
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
fail() { echo "FAIL $1"; failures=$((failures + 1)); }
has() {  # has NAME TEXT FRAGMENT
  case "$2" in *"$3"*) ;; *) fail "$1: [$2] lacks [$3]" ;; esac
}

out=$("$boleto" --db b.db update --company 04 --boleto 0001/1 --writeoff 1 --fine-pct 3 \
  --message "Pagável em qualquer banco" 2>&1); rc=$?
[ "$rc" -eq 0 ] || fail "update status $rc: $out"
has "boleto named" "$out" "0001/0000000001"
has "fine printed" "$out" "Multa (%): 2,000 -> 3,000"
has "write-off printed" "$out" "Tipo de baixa:  -> 01"
has "message printed" "$out" "-> Pagável em qualquer banco"
has "count" "$out" "1 boleto(s) alterado(s)"

again=$("$boleto" --db b.db update --company 04 --boleto 0001/1 --writeoff 1 --fine-pct 3 2>&1); rc=$?
[ "$rc" -eq 0 ] || fail "second update status $rc: $again"
has "stored: nothing left to change" "$again" "0 boleto(s) alterado(s)"

out=$("$boleto" --db b.db update --company 04 --boleto 0001/8 --description "Contrato 2026" 2>&1); rc=$?
[ "$rc" -eq 0 ] || fail "description status $rc: $out"
has "description printed" "$out" "Descrição: "
list=$("$boleto" --db b.db register --company 04 --all-dates 2>/dev/null)
has "description listed" "$list" "Contrato 2026"

out=$("$boleto" --db b.db update --company 04 --boleto 0001/1 --writeoff 1 --interest-pct 1 \
  --marked 0001/1,0001/8 --yes 2>&1); rc=$?
[ "$rc" -eq 0 ] || fail "replication status $rc: $out"
has "replicated to the marked one" "$out" "0001/0000000008"
has "two changed" "$out" "2 boleto(s) alterado(s)"

err=$("$boleto" --db b.db update --company 04 --boleto 0001/1 --writeoff 1 --fine-pct -1 2>&1); rc=$?
[ "$rc" -ne 0 ] || fail "negative fine succeeded"
has "negative fine message" "$err" "Multa (%) deve ser maior ou igual a zero."

err=$("$boleto" --db b.db update --company 04 --boleto 0001/999 --fine 1 2>&1); rc=$?
[ "$rc" -ne 0 ] || fail "unknown boleto succeeded"
has "unknown boleto message" "$err" "não está na lista"

err=$("$boleto" --db b.db update --company 04 --boleto 0001/1 --fine 1 --fine-pct 2 2>&1); rc=$?
[ "$rc" -ne 0 ] || fail "fine and fine-pct together succeeded"

[ "$failures" -eq 0 ] && echo "update command: all checks passed"
exit "$failures"
