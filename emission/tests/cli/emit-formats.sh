#!/bin/sh
# `boleto emit --format`: the run saved in each of the twelve formats ("Salvar como"), one
# file per boleto named after its own payer, due date and key, each opened by a reader of its
# own: `file` names the format; the typed line stored for the boleto is in the text formats,
# in a cell of the spreadsheet and in the metafiles and rtf once converted; the bars of the
# pictures and of the PDF decode to the stored barcode. An unknown format writes nothing.
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
today=$(date +%Y-%m-%d)

# The boleto a file belongs to: the last 14 characters of its name (page n of a picture
# format is "<name>-<n>.<ext>" and is not read here).
codes() {  # file -> sets key, barcode, line
  stem=$(basename "$1" | sed 's/\.[a-z]*$//')
  key=$(printf '%s' "$stem" | tail -c 14)
  row=$(sql "SELECT CDBARRAREC || '|' || DSLINHABARREC || '|' || IDSTATBREC FROM BOLRECEBER WHERE CDFILIAL='$(echo "$key" | cut -c1-4)' AND NRLANBOLREC='$(echo "$key" | cut -c5-14)'")
  barcode=$(echo "$row" | cut -d'|' -f1)
  line=$(echo "$row" | cut -d'|' -f2)
  [ "$(echo "$row" | cut -d'|' -f3)" = "E" ] || fail "$1: boleto $key not emitted ($row)"
  [ "${#barcode}" -eq 44 ] || fail "$1: barcode [$barcode]"
}

reissue=""
for fmt in pdf txt csv htm xlsx rtf wmf xhtml gif jpg bmp emf; do
  out=$("$boleto" --db b.db emit --company 04 --account 001 --dir "$fmt" --format "$fmt" $reissue 2>"err-$fmt.txt"); rc=$?
  [ "$rc" -eq 0 ] || fail "$fmt: exit status $rc: $(cat "err-$fmt.txt")"
  echo "$out" | grep -q "arquivo(s) $fmt salvo(s) em $fmt/Boletos_Emitidos/$today/" || fail "$fmt: no summary: $out"
  reissue=--reissue  # the first run numbered them; the others save them again
done

n=$(ls pdf/Boletos_Emitidos/"$today"/*.pdf 2>/dev/null | wc -l)
[ "$n" -gt 1 ] || fail "only $n PDF files"
ext() { [ "$1" = xhtml ] && echo htm || echo "$1"; }  # the XHTML dialog saves as .htm
for fmt in txt csv htm xlsx rtf wmf xhtml gif jpg bmp emf; do
  [ "$(ls "$fmt/Boletos_Emitidos/$today/" | grep -c "\.$(ext $fmt)\$")" -ge "$n" ] || fail "$fmt: fewer files than boletos"
done

kind() {  # format expected-file-output
  for f in "$1"/Boletos_Emitidos/"$today"/*."$(ext "$1")"; do
    file -b "$f" | grep -q "$2" || fail "$f: file says $(file -b "$f")"
  done
}
kind pdf "PDF document"; kind txt "text"; kind csv "text"; kind htm "HTML document"
kind xlsx "Microsoft Excel 2007+"; kind rtf "Rich Text Format"; kind wmf "Windows metafile"
kind xhtml "XML"; kind gif "GIF image data"; kind jpg "JPEG image data"; kind bmp "PC bitmap"
kind emf "Windows Enhanced Metafile"

# Each file is named after its own boleto: n files, n different keys, the payer's tax
# number and due date in front.
for f in pdf/Boletos_Emitidos/"$today"/*.pdf; do
  codes "$f"
  expect=$(sql "SELECT C.NRINSJURCLIE || '_' || substr(B.DTVENBOLREC, 9, 2) || substr(B.DTVENBOLREC, 6, 2) || substr(B.DTVENBOLREC, 1, 4) FROM BOLRECEBER B JOIN CLIENTE C ON C.CDCLIENTE = B.CDCLIENTE WHERE B.CDFILIAL='$(echo "$key" | cut -c1-4)' AND B.NRLANBOLREC='$(echo "$key" | cut -c5-14)'" 2>/dev/null)
  [ -z "$expect" ] || basename "$f" | grep -q "^${expect}_" || fail "$f: not named after its payer and due date ($expect)"
  pdftotext -layout "$f" - | grep -qF "$line" || fail "$f: typed line $line"
  pdftoppm -r 300 -f 1 -l 1 -png "$f" "page-$key"
  zbarimg --raw -q page-"$key"*.png 2>/dev/null | grep -qx "$barcode" || fail "$f: bars do not decode"
done
for fmt in txt csv htm xhtml; do
  for f in "$fmt"/Boletos_Emitidos/"$today"/*."$(ext $fmt)"; do
    codes "$f"
    grep -qF "$line" "$f" || fail "$f: typed line $line"
  done
done
for f in xhtml/Boletos_Emitidos/"$today"/*.htm; do
  xmllint --noout --valid "$f" 2>xmllint.txt || fail "$f: not valid XHTML: $(head -3 xmllint.txt)"
done
for f in gif jpg bmp; do
  for p in "$f"/Boletos_Emitidos/"$today"/*."$f"; do
    case "$p" in *-[0-9].$f) continue ;; esac
    codes "$p"
    zbarimg --raw -q "$p" 2>/dev/null | grep -qx "$barcode" || fail "$p: bars do not decode to $barcode"
  done
done
cat > xl.py <<'PY'
import sys, openpyxl
wb = openpyxl.load_workbook(sys.argv[1])
print("\n".join(str(c.value) for ws in wb for r in ws.iter_rows() for c in r if c.value is not None))
PY
for f in xlsx/Boletos_Emitidos/"$today"/*.xlsx; do
  codes "$f"
  /usr/bin/python3 xl.py "$f" >cells.txt && grep -qF "$line" cells.txt || fail "$f: typed line not in a cell"
done
# One boleto's rtf, wmf and emf through a converter.
one=$(ls rtf/Boletos_Emitidos/"$today"/ | head -1 | sed 's/\.rtf$//')
codes "$one"
mkdir conv
for fmt in rtf wmf emf; do cp "$fmt/Boletos_Emitidos/$today/$one.$fmt" "conv/$fmt.$fmt"; done
HOME="$dir" soffice -env:UserInstallation="file://$dir/lo" --headless --norestore \
  --convert-to pdf --outdir conv conv/rtf.rtf conv/wmf.wmf conv/emf.emf >/dev/null 2>&1
for fmt in rtf wmf emf; do
  pdftotext -layout "conv/$fmt.pdf" - 2>/dev/null | grep -qF "$line" || fail "$fmt: typed line not read back by the converter"
done

err=$("$boleto" --db b.db emit --company 04 --account 001 --dir bad --format docx 2>&1); rc=$?
[ "$rc" -ne 0 ] || fail "an unknown format was accepted"
[ ! -e bad ] || fail "an unknown format wrote something"

[ "$failures" -eq 0 ] && echo "emit formats: all checks passed ($n boletos, 12 formats)"
[ "$failures" -eq 0 ]
