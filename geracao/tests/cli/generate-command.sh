#!/bin/sh
# `boleto generate` on a fresh embedded database: a directory that cannot be written leaves
# the boletos pending with the numbers they were given; the text file lists every boleto of
# the account with its stored number and bars, now emitted; a second run over all of them
# keeps every number and writes a file of its own.
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
mkdir out
printf 'report-dir = %s/rel\nlog-dir = %s\nserial-device = %s/USB001\n' "$dir" "$dir" "$dir" >ctx.conf

pending=$(sql "SELECT COUNT(*) FROM BOLRECEBER WHERE CDEMPRESA='04' AND CDREDUCONT='001' AND IDSTATBREC <> 'E'")
[ "$pending" -gt 0 ] || fail "no pending boleto on account 001"

err=$("$boleto" --db b.db --context ctx.conf generate --company 04 --account 001 --dir missing 2>&1); rc=$?
[ "$rc" -ne 0 ] || fail "a generation into a missing directory succeeded: $err"
echo "$err" | grep -q 'Diretório inválido' || fail "no reason given: $err"
left=$(sql "SELECT COUNT(*) FROM BOLRECEBER WHERE CDEMPRESA='04' AND CDREDUCONT='001' AND IDSTATBREC <> 'E'")
[ "$left" -eq "$pending" ] || fail "a generation not written emitted $((pending - left)) boletos"

out=$("$boleto" --db b.db --context ctx.conf generate --company 04 --account 001 --dir out 2>err.txt); rc=$?
[ "$rc" -eq 0 ] || fail "generate exit status $rc: $(cat err.txt)"
echo "$out" | grep -q "$pending boleto(s) gerado(s)" || fail "no summary: $out"
set -- out/Boleto*.txt
[ "$#" -eq 1 ] && [ -f "$1" ] || fail "expected one text file, found: $*"
first=$1
sql "SELECT CDNOSNUMREC || ' ' || CDBARRAREC FROM BOLRECEBER WHERE CDEMPRESA='04' AND CDREDUCONT='001' ORDER BY CDFILIAL, NRLANBOLREC" >numbers1.txt
while read -r nosso bars; do
  grep -q -- "$nosso" "$first" || fail "$nosso missing from $first"
  grep -q -- "$bars" "$first" || fail "bars $bars missing from $first"
done <numbers1.txt
[ "$(sql "SELECT COUNT(*) FROM BOLRECEBER WHERE CDEMPRESA='04' AND CDREDUCONT='001' AND IDSTATBREC <> 'E'")" -eq 0 ] ||
  fail "boletos of account 001 still pending"
[ ! -e USB001 ] || fail "the missing device was created"
[ ! -e ANALISA_ERRO.txt ] || fail "a log line without a device"

sleep 1
out=$("$boleto" --db b.db --context ctx.conf generate --company 04 --account 001 --dir out --all 2>err.txt); rc=$?
[ "$rc" -eq 0 ] || fail "second run exit status $rc: $(cat err.txt)"
echo "$out" | grep -q "0 numerado(s)" || fail "second run numbered boletos: $out"
sql "SELECT CDNOSNUMREC || ' ' || CDBARRAREC FROM BOLRECEBER WHERE CDEMPRESA='04' AND CDREDUCONT='001' ORDER BY CDFILIAL, NRLANBOLREC" >numbers2.txt
cmp -s numbers1.txt numbers2.txt || fail "the second run changed numbers: $(diff numbers1.txt numbers2.txt)"
[ "$(ls out/Boleto*.txt | wc -l)" -eq 2 ] || fail "the second run did not write a file of its own"
for f in out/Boleto*.txt; do
  [ "$f" = "$first" ] && continue
  while read -r nosso bars; do
    grep -q -- "$nosso" "$f" || fail "$nosso missing from $f"
  done <numbers1.txt
done

[ "$failures" -eq 0 ] && echo "generate command: all checks passed ($pending boletos)"
[ "$failures" -eq 0 ]
