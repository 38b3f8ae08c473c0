#!/bin/sh
# `boleto register` as an operator calls it on a fresh embedded database (the default one,
# data/boleto.db, created in a folder of its own).
set -u
boleto=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir" || exit 1
failures=0
expect() {  # expect NAME ACTUAL EXPECTED
  if [ "$2" != "$3" ]; then
    echo "FAIL $1: got [$2] expected [$3]"
    failures=$((failures + 1))
  fi
}
total() { tail -1 | cut -d' ' -f1; }

all=$("$boleto" register --company 04 --all-dates 2>/dev/null); rc=$?
expect "all status" "$rc" 0
expect "header" "$(echo "$all" | head -1 | tr -s ' ')" " Vencimento Cliente Parc. Duplicata Valor Líquido Status E-mail Vr. Taxa Cartório Descrição"
n=$(echo "$all" | total)
[ "$n" -gt 0 ] || { echo "FAIL no boletos listed"; failures=$((failures + 1)); }
expect "one line per boleto" "$(echo "$all" | grep -c '^\[ \]')" "$n"

emitted=$("$boleto" register --company 04 --all-dates --status emitidos 2>/dev/null | total)
pending=$("$boleto" register --company 04 --all-dates --status pendentes 2>/dev/null | total)
expect "emitted and pending make the whole" "$((emitted + pending))" "$n"
[ "$emitted" -gt 0 ] && [ "$pending" -gt 0 ] || { echo "FAIL status narrows nothing"; failures=$((failures + 1)); }

cols=$("$boleto" register --company 04 --all-dates --columns 2>/dev/null)
expect "layout lists hidden columns" "$(echo "$cols" | grep -c '^FTR_.* N$')" 9

err=$("$boleto" register --company 77 2>&1 >/dev/null); rc=$?
[ "$rc" -ne 0 ] || { echo "FAIL unknown company succeeded"; failures=$((failures + 1)); }
case "$err" in *"ACESSO_EMPRESA"*77*) ;; *) echo "FAIL unknown company message: $err"; failures=$((failures + 1)) ;; esac

err=$("$boleto" register --company 04 --due-from 10/03/2026 --due-to 01/03/2026 2>&1 >/dev/null); rc=$?
[ "$rc" -ne 0 ] || { echo "FAIL inverted due range succeeded"; failures=$((failures + 1)); }
case "$err" in *"Data de vencimento inicial deve ser menor"*) ;; *) echo "FAIL due range message: $err"; failures=$((failures + 1)) ;; esac

[ "$failures" -eq 0 ] && echo "register command: all checks passed"
exit "$failures"
