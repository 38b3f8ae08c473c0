#!/bin/sh
# `boleto emit` on a fresh embedded database: every PDF written carries, in its bars and in
# its text, the codes stored for its boleto; the boletos are emitted once, on the complete
# model, with numbers of their own; the run's list is gone; a second run emits nothing.
set -u
boleto=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir" || exit 1
failures=0
fail() { echo "FAIL $*"; failures=$((failures + 1)); }
sql() { sqlite3 -batch -noheader data/boleto.db "$1"; }

out=$("$boleto" emit --company 04 --account 001 --dir out 2>err.txt); rc=$?
[ "$rc" -eq 0 ] || fail "emit exit status $rc: $(cat err.txt)"
echo "$out" | grep -q '^\[1/' || fail "no progress line: $out"
echo "$out" | grep -q 'boleto(s) emitido(s) em out/Boletos_Emitidos/' || fail "no summary: $out"
folder="out/Boletos_Emitidos/$(date +%Y-%m-%d)"
[ -d "$folder" ] || fail "no dated folder $folder"
n=0
for pdf in "$folder"/*.pdf; do
  [ -f "$pdf" ] || continue
  n=$((n + 1))
  stem=$(basename "$pdf" .pdf)
  key=$(printf '%s' "$stem" | tail -c 14)
  branch=$(printf '%s' "$key" | cut -c1-4)
  number=$(printf '%s' "$key" | cut -c5-14)
  row=$(sql "SELECT CDBARRAREC || '|' || DSLINHABARREC || '|' || IDSTATBREC || '|' || IDBOLEMITIDO FROM BOLRECEBER WHERE CDFILIAL='$branch' AND NRLANBOLREC='$number'")
  barcode=$(echo "$row" | cut -d'|' -f1)
  line=$(echo "$row" | cut -d'|' -f2)
  [ "$(echo "$row" | cut -d'|' -f3)" = "E" ] || fail "$key not emitted: $row"
  [ "$(echo "$row" | cut -d'|' -f4)" = "2" ] || fail "$key print model: $row"
  [ "${#barcode}" -eq 44 ] || fail "$key barcode [$barcode]"
  # The file's structure, cross-references and streams, checked by a reader other than the
  # one the rest of the checks use; every font embedded.
  qpdf --check "$pdf" > /dev/null 2>&1 || fail "$key: qpdf finds errors in $pdf"
  pdffonts "$pdf" | awk 'NR > 2 && $(NF-4) != "yes" { bad = 1 } END { exit bad }' ||
    fail "$key: a font of $pdf is not embedded"
  pdftotext -layout "$pdf" - | grep -qF "$line" || fail "$key typed line $line not in the PDF"
  pdftoppm -r 300 -f 1 -l 1 -png "$pdf" "page-$key"
  zbarimg --raw -q page-"$key"*.png 2>/dev/null | grep -qx "$barcode" || fail "$key bars do not decode to $barcode"
done
[ "$n" -gt 1 ] || fail "only $n PDF files"
pending=$(sql "SELECT COUNT(*) FROM BOLRECEBER WHERE CDEMPRESA='04' AND CDREDUCONT='001' AND IDSTATBREC <> 'E'")
[ "$pending" -eq 0 ] || fail "$pending boletos of account 001 still pending"
dups=$(sql "SELECT COUNT(*) FROM (SELECT CDNOSNUMREC FROM BOLRECEBER WHERE CDREDUCONT='001' AND CDNOSNUMREC IS NOT NULL AND CDNOSNUMREC <> '' GROUP BY CDNOSNUMREC HAVING COUNT(*) > 1)")
[ "$dups" -eq 0 ] || fail "$dups nosso números shared"
[ "$(sql 'SELECT COUNT(*) FROM LISTA') $(sql 'SELECT COUNT(*) FROM LISTAITEM')" = "0 0" ] || fail "the run's list is still on the service"

again=$("$boleto" emit --company 04 --account 001 --dir out 2>&1); rc=$?
[ "$rc" -eq 0 ] || fail "second run exit status $rc: $again"
echo "$again" | grep -q 'nada a emitir' || fail "second run: $again"
[ "$(ls "$folder" | wc -l)" -eq "$n" ] || fail "second run wrote files"

err=$("$boleto" emit --company 04 --account 999 --dir out 2>&1); rc=$?
echo "$err" | grep -q 'nada a emitir' || fail "unknown account: $err"

# --one-file: the same road on another database writes one PDF, a boleto a page, each page
# decoding to the barcode of an emitted boleto of the account.
# A database of its own for the one-file run, made where the embedded default is created.
(mkdir -p one-seed && cd one-seed && "$boleto" account 001 --company 04 >/dev/null 2>&1) &&
  mv one-seed/data/boleto.db one.db
one=$("$boleto" --db one.db emit --company 04 --account 001 --dir one --one-file 2>&1); rc=$?
[ "$rc" -eq 0 ] || fail "--one-file exit status $rc: $one"
set -- one/Boletos_Emitidos/*/Boletos_*.pdf
[ "$#" -eq 1 ] && [ -f "$1" ] || fail "--one-file wrote $# files: $*"
if [ -f "$1" ]; then
  pages=$(pdfinfo "$1" 2>/dev/null | sed -n 's/^Pages: *//p')
  qpdf --check "$1" > /dev/null 2>&1 || fail "--one-file: qpdf finds errors in $1"
  emitted=$(sqlite3 -batch -noheader one.db "SELECT COUNT(*) FROM BOLRECEBER WHERE CDEMPRESA='04' AND CDREDUCONT='001' AND IDSTATBREC='E' AND DTEMITBOLREC IS NOT NULL")
  [ "$pages" -eq "$n" ] || fail "--one-file: $pages pages for $n boletos"
  p=1
  while [ "$p" -le "$pages" ]; do
    pdftoppm -r 300 -f "$p" -l "$p" -singlefile -png "$1" onepage
    code=$(zbarimg --raw -q onepage.png 2>/dev/null)
    [ "$(sqlite3 -batch -noheader one.db "SELECT COUNT(*) FROM BOLRECEBER WHERE CDBARRAREC='$code' AND IDSTATBREC='E'")" -eq 1 ] ||
      fail "--one-file page $p: [$code] is no emitted boleto"
    p=$((p + 1))
  done
  [ "$emitted" -ge "$pages" ] || fail "--one-file: $emitted emitted for $pages pages"
fi

[ "$failures" -eq 0 ] && echo "emit command: all checks passed ($n boletos)"
[ "$failures" -eq 0 ]
