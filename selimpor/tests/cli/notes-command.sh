#!/bin/sh
# `boleto notes` on a fresh embedded database: the notes of a boleto's customer listed with
# their flags; one flagged and unflagged, all and none, each stored at once; a note that is
# not the customer's, or asked both ways, is refused before anything changes.
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
run() { "$boleto" --db b.db notes --company 04 "$@"; }

# A boleto whose customer has at least two notes of company 04 not yet imported.
set -- $(sql "SELECT B.CDFILIAL || '/' || B.NRLANBOLREC, B.CDCLIENTE FROM BOLRECEBER B WHERE B.CDEMPRESA = '04' AND (SELECT COUNT(*) FROM NOTAFISCAL N WHERE N.CDCLIENTE = B.CDCLIENTE AND N.CDEMPRESA = '04') >= 2 ORDER BY 1 LIMIT 1" | tr '|' ' ')
key=$1 customer=$2
[ -n "$customer" ] || { echo "FAIL the demo data has no customer with two notes"; exit 1; }
flags() { sql "SELECT CDFILIAL || '/' || NRLANCTONF || '=' || COALESCE(IDIMPONFCR, '') FROM NOTAFISCAL WHERE CDEMPRESA = '04' AND CDCLIENTE = '$customer' ORDER BY 1" | tr '\n' ' '; }

out=$(run --boleto "$key" 2>err.txt); rc=$?
[ "$rc" -eq 0 ] || fail "listing: exit status $rc: $(cat err.txt)"
listed=$(echo "$out" | grep -c 'importar: ')
[ "$listed" -ge 2 ] || fail "listed $listed notes: $out"
first=$(echo "$out" | grep 'importar: ' | head -1 | cut -d' ' -f1)
short=$(echo "$first" | sed 's|^0*\([0-9]\)|\1|; s|/0*\([0-9]\)|/\1|')
before=$(flags)

out=$(run --boleto "$key" --flag "$short" 2>err.txt); rc=$?
[ "$rc" -eq 0 ] || fail "flag: exit status $rc: $(cat err.txt)"
[ "$(sql "SELECT IDIMPONFCR FROM NOTAFISCAL WHERE CDEMPRESA = '04' AND CDFILIAL || '/' || NRLANCTONF = '$first'")" = S ] ||
  fail "$first (named $short) not flagged: $(flags)"
echo "$out" | grep -q "^$first .*importar: S" || fail "the listing after flagging: $out"
[ "$(sql "SELECT COUNT(*) FROM NOTAFISCAL WHERE CDEMPRESA = '04' AND CDCLIENTE = '$customer' AND IDIMPONFCR = 'S'")" -eq 1 ] ||
  fail "more than the note named was flagged: $(flags)"

after=$(flags)
err=$(run --boleto "$key" --unflag "$first" --flag 9999/424242 2>&1); rc=$?
[ "$rc" -eq 1 ] || fail "a note not the customer's: exit status $rc"
echo "$err" | grep -q "9999/424242 não está entre as do cliente" || fail "the unknown note is not named: $err"
[ "$(flags)" = "$after" ] || fail "a refused call changed flags: $after -> $(flags)"
err=$(run --boleto "$key" --flag "$first" --unflag "$first" 2>&1); rc=$?
[ "$rc" -eq 1 ] || fail "a note asked both ways: exit status $rc"
[ "$(flags)" = "$after" ] || fail "a note asked both ways changed flags"

run --boleto "$key" --all >/dev/null 2>err.txt || fail "--all: $(cat err.txt)"
[ "$(sql "SELECT COUNT(*) FROM NOTAFISCAL WHERE CDEMPRESA = '04' AND CDCLIENTE = '$customer' AND COALESCE(IDIMPONFCR, '') <> 'S'")" -eq 0 ] ||
  fail "--all left notes unflagged: $(flags)"
run --boleto "$key" --all >/dev/null 2>err.txt || fail "--all again: $(cat err.txt)"
[ "$(sql "SELECT COUNT(*) FROM NOTAFISCAL WHERE CDEMPRESA = '04' AND CDCLIENTE = '$customer' AND COALESCE(IDIMPONFCR, '') <> 'S'")" -eq 0 ] ||
  fail "--all on notes all flagged unflagged some: $(flags)"
run --boleto "$key" --none >/dev/null 2>err.txt || fail "--none: $(cat err.txt)"
[ "$(sql "SELECT COUNT(*) FROM NOTAFISCAL WHERE CDEMPRESA = '04' AND CDCLIENTE = '$customer' AND IDIMPONFCR = 'S'")" -eq 0 ] ||
  fail "--none left notes flagged: $(flags)"

err=$(run --boleto 0001/9999999 2>&1); rc=$?
[ "$rc" -eq 1 ] || fail "a boleto not listed: exit status $rc"
echo "$err" | grep -q "não está na lista" || fail "a boleto not listed is not said: $err"

[ "$failures" -eq 0 ] && echo "notes command: all checks passed ($listed notes, before: $before)"
[ "$failures" -eq 0 ]
