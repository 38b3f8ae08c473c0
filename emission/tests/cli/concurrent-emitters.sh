#!/bin/sh
# Four `boleto emit` runs at once on one account: on the embedded default (four processes on
# one SQLite file) and over one boleto-server, each with the same due-date range and with
# ranges of their own. Every run finishes, no nosso número is given twice, and every PDF
# carries, in its text and in its bars, the number, typed line and barcode stored for its
# boleto. A reissue afterwards changes none of them.
set -u
# Passwords reach the programs through the environment, never the command line.
export BOLETO_PASSWORD=senha-demo
boleto=$1
server=${2:-$(dirname "$boleto")/../boleto-server/boleto-server}
dir=$(mktemp -d)
pid=
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$dir"' EXIT
cd "$dir" || exit 1
failures=0
fail() { echo "FAIL $*"; failures=$((failures + 1)); }
sql() { sqlite3 -batch -noheader "$1" "$2"; }
day() { date -d "+$1 days" +%d/%m/%Y; }

# The codes stored for every boleto of account 001, one line each.
snapshot() {
  sql "$1" "SELECT CDFILIAL || NRLANBOLREC || '|' || CDNOSNUMREC || '|' || CDBARRAREC || '|' ||
       DSLINHABARREC FROM BOLRECEBER WHERE CDEMPRESA = '04' AND CDREDUCONT = '001' AND
       CDNOSNUMREC IS NOT NULL ORDER BY 1"
}

# Every PDF under the run folders against what the database keeps for its boleto; `n` is
# left with the number of files read.
check_pdfs() {  # check_pdfs DB LABEL FOLDER...
  db=$1 label=$2
  shift 2
  n=0
  for folder in "$@"; do
    for pdf in "$folder"/Boletos_Emitidos/*/*.pdf; do
      [ -f "$pdf" ] || continue
      n=$((n + 1))
      key=$(basename "$pdf" .pdf)
      key=$(printf '%s' "$key" | tail -c 14)
      row=$(sql "$db" "SELECT CDNOSNUMREC || '|' || CDBARRAREC || '|' || DSLINHABARREC FROM BOLRECEBER
                       WHERE CDFILIAL || NRLANBOLREC = '$key'")
      nosso=$(echo "$row" | cut -d'|' -f1)
      barcode=$(echo "$row" | cut -d'|' -f2)
      line=$(echo "$row" | cut -d'|' -f3)
      if [ "${#barcode}" -ne 44 ] || [ -z "$nosso" ] || [ -z "$line" ]; then
        fail "$label $pdf: boleto $key has no stored codes [$row]"
        continue
      fi
      text=$(pdftotext -layout "$pdf" -)
      echo "$text" | grep -qF "$line" || fail "$label $pdf: typed line $line not in the PDF"
      echo "$text" | grep -qF "$nosso" || fail "$label $pdf: nosso número $nosso not in the PDF"
      # The bars of the shipped template lie in the lower third of the page: that strip is
      # enough at the resolution zbarimg needs, and the whole page when they moved.
      png="$dir/page-$n"
      pdftoppm -r 300 -f 1 -l 1 -x 0 -y 2000 -W 2480 -H 900 -png "$pdf" "$png"
      bars=$(zbarimg --raw -q "$png"*.png 2>/dev/null)
      if [ -z "$bars" ]; then
        pdftoppm -r 300 -f 1 -l 1 -png "$pdf" "$png-all"
        bars=$(zbarimg --raw -q "$png-all"*.png 2>/dev/null)
      fi
      [ "$bars" = "$barcode" ] || fail "$label $pdf: bars [$bars], stored [$barcode]"
      rm -f "$png"*.png
    done
  done
}

unique() {  # unique DB LABEL
  dups=$(sql "$1" "SELECT COUNT(*) FROM (SELECT CDNOSNUMREC FROM BOLRECEBER WHERE CDEMPRESA = '04'
                   AND CDREDUCONT = '001' AND CDNOSNUMREC IS NOT NULL GROUP BY CDNOSNUMREC
                   HAVING COUNT(*) > 1)")
  [ "$dups" -eq 0 ] || fail "$2: $dups nosso números given to more than one boleto"
  left=$(sql "$1" "SELECT COUNT(*) FROM BOLRECEBER WHERE CDEMPRESA = '04' AND CDREDUCONT = '001'
                   AND IDSTATBREC = 'A'")
  [ "$left" -eq 0 ] || fail "$2: $left boletos left pending"
}

# four LABEL CONNECTION... : four runs at once, the same range or one range each.
four() {
  label=$1 mode=$2
  shift 2
  pids=
  for i in 1 2 3 4; do
    range=
    if [ "$mode" = disjoint ]; then
      range="--due-from $(day $(((i - 1) * 16))) --due-to $(day $((i * 16 - 1)))"
    fi
    # shellcheck disable=SC2086
    "$boleto" "$@" emit --company 04 --account 001 --dir "$label-$i" $range \
      >"$label-$i.out" 2>&1 &
    pids="$pids $!"
  done
  i=0
  for p in $pids; do
    i=$((i + 1))
    wait "$p" || fail "$label run $i: exit status $?: $(tail -3 "$label-$i.out")"
  done
}

for storage in ${STORAGES:-embedded server}; do
  for mode in ${MODES:-overlapping disjoint}; do
    db="$storage-$mode.db"
    "$server" seed --demo --boletos 10 --db "$db" >/dev/null ||
      fail "seed $db"
    # The demo's boletos due before today are out of every range of their own.
    sql "$db" "UPDATE BOLRECEBER SET DTVENBOLREC = date('now', '+2 days') WHERE CDEMPRESA = '04'
               AND CDREDUCONT = '001' AND IDSTATBREC = 'A' AND DTVENBOLREC < date('now')"
    label="$storage-$mode"
    if [ "$storage" = embedded ]; then
      four "$label" "$mode" --db "$db"
    else
      "$server" serve --db "$db" --listen 127.0.0.1:0 >server.out 2>&1 &
      pid=$!
      port=
      for _ in $(seq 50); do
        port=$(sed -n 's/.*http:\/\/127.0.0.1:\([0-9]*\).*/\1/p' server.out)
        [ -n "$port" ] && break
        sleep 0.1
      done
      [ -n "$port" ] || fail "the server did not start: $(cat server.out)"
      four "$label" "$mode" --server "http://127.0.0.1:$port" --user demo
      kill "$pid"
      wait "$pid" 2>/dev/null
      pid=
    fi
    unique "$db" "$label"
    check_pdfs "$db" "$label" "$label"-1 "$label"-2 "$label"-3 "$label"-4
    [ "$n" -ge 12 ] || fail "$label: only $n PDF files"
    before=$(snapshot "$db")
    [ "$(echo "$before" | wc -l)" -ge 12 ] || fail "$label: numbered $(echo "$before" | wc -l)"
    "$boleto" --db "$db" emit --company 04 --account 001 --dir "$label-reissue" --reissue \
      >/dev/null 2>&1 || fail "$label: the reissue failed"
    [ "$(snapshot "$db")" = "$before" ] || fail "$label: the reissue changed stored codes"
  done
done

[ "$failures" -eq 0 ] && echo "concurrent emitters: all checks passed"
[ "$failures" -eq 0 ]
