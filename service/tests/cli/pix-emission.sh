#!/bin/sh
# The hybrid boleto from the command line: `boleto emit` of the account with a Pix key writes
# PDFs whose QR code decodes (zbarimg) to the text stored with the boleto, a BR Code whose CRC
# is checked here by hand, whose amount is the boleto's and whose transaction id is its key;
# the text is printed under the QR; emitted again after the key changed, the text stays; an
# account without a key prints no QR.
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
fail() { echo "FAIL $*"; failures=$((failures + 1)); }
sql() { sqlite3 -batch -noheader b.db "$1"; }
# CRC-16/CCITT-FALSE of everything but the last four characters, written as they are.
crc_ok() {
  python3 -c '
import sys
t = sys.argv[1]
c = 0xFFFF
for b in t[:-4].encode():
    c ^= b << 8
    for _ in range(8):
        c = ((c << 1) ^ 0x1021) if c & 0x8000 else c << 1
        c &= 0xFFFF
sys.exit(0 if "%04X" % c == t[-4:] else 1)' "$1"
}

out=$("$boleto" --db b.db emit --company 04 --account 002 --reissue --dir out 2>err.txt); rc=$?
[ "$rc" -eq 0 ] || fail "emit exit status $rc: $(cat err.txt)"
folder="out/Boletos_Emitidos/$(date +%Y-%m-%d)"
n=0
for pdf in "$folder"/*.pdf; do
  [ -f "$pdf" ] || continue
  n=$((n + 1))
  key=$(printf '%s' "$(basename "$pdf" .pdf)" | tail -c 14)
  branch=$(printf '%s' "$key" | cut -c1-4)
  number=$(printf '%s' "$key" | cut -c5-14)
  where="WHERE CDFILIAL='$branch' AND NRLANBOLREC='$number'"
  pix=$(sql "SELECT DSPIXBOLREC FROM BOLRECEBER $where")
  cents=$(sql "SELECT CAST(ROUND(VRFINALBREC * 100) AS INTEGER) FROM BOLRECEBER $where")
  barcode=$(sql "SELECT CDBARRAREC FROM BOLRECEBER $where")
  [ -n "$pix" ] || { fail "$key: no Pix text stored"; continue; }
  crc_ok "$pix" || fail "$key: CRC of [$pix]"
  json=$("$boleto" pix --decode "$pix" --json)
  for want in '"valid":true' "\"cents\":$cents" "\"txid\":\"$key\"" '"keyKind":"CNPJ"'; do
    case "$json" in *"$want"*) ;; *) fail "$key: $want not in $json" ;; esac
  done
  pdftoppm -r 200 -f 1 -l 1 -png "$pdf" "page-$key"
  codes=$(zbarimg --raw -q page-"$key"*.png 2>/dev/null)
  echo "$codes" | grep -qxF "$pix" || fail "$key: the QR does not decode to the stored text: $codes"
  echo "$codes" | grep -qxF "$barcode" || fail "$key: the bars are not read beside the QR: $codes"
  pdftotext "$pdf" - | tr -d ' \n' | grep -qF "$(printf '%s' "$pix" | tr -d ' ')" ||
    fail "$key: the text is not printed under the QR"
  echo "$key $pix" >> texts.txt
done
[ "$n" -ge 1 ] || fail "no PDF of account 002"

# Another key on the account: what was printed stays.
sql "UPDATE CONTCORR SET DSCHAVEPIX = '123e4567-e12b-12d1-a456-426655440000' WHERE CDEMPRESA = '04' AND CDREDUCONT = '002'"
"$boleto" --db b.db emit --company 04 --account 002 --reissue --dir again >/dev/null 2>&1 ||
  fail "second emission"
while read -r key pix; do
  now=$(sql "SELECT DSPIXBOLREC FROM BOLRECEBER WHERE CDFILIAL='$(echo "$key" | cut -c1-4)' AND NRLANBOLREC='$(echo "$key" | cut -c5-14)'")
  [ "$now" = "$pix" ] || fail "$key: the stored text changed to $now"
done < texts.txt

# No key, no QR.
"$boleto" --db b.db emit --company 04 --account 001 --dir plain >/dev/null 2>&1 || fail "emit 001"
[ "$(sql "SELECT COUNT(*) FROM BOLRECEBER WHERE CDREDUCONT = '001' AND CDEMPRESA = '04' AND DSPIXBOLREC IS NOT NULL")" -eq 0 ] ||
  fail "account 001 boletos carry a Pix text"
for pdf in plain/Boletos_Emitidos/*/*.pdf; do
  [ -f "$pdf" ] || continue
  pdftoppm -r 150 -f 1 -l 1 -png "$pdf" plain-page
  zbarimg --raw -q plain-page*.png 2>/dev/null | grep -q '^000201' && fail "a QR on $pdf"
  rm -f plain-page*.png
  break
done

[ "$failures" -eq 0 ] && echo "pix emission: all checks passed ($n boletos)"
[ "$failures" -eq 0 ]
