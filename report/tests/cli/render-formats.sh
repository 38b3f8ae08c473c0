#!/bin/sh
# `boleto render --format`: the sample boleto in each of the twelve formats, by name and by
# tag, each file named by `file` as its format; the pictures' bars decode; an unknown format
# is refused before anything is written.
set -u
boleto=$1
src=$(cd "$(dirname "$0")/../../.." && pwd)
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
failures=0
fail() { echo "FAIL $*"; failures=$((failures + 1)); }
barcode=00191166600001234560000001234567000000012317

check() {  # format out kind
  out=$("$boleto" render -t "$src/templates/MODBOLCOMP.QR2" -d "$src/templates/samples/boleto.json" \
    --format "$1" --out "$dir/$2" 2>"$dir/err"); rc=$?
  [ "$rc" -eq 0 ] || { fail "$1: exit status $rc: $(cat "$dir/err")"; return; }
  [ "$out" = "$dir/$2" ] || fail "$1: printed [$out]"
  file -b "$dir/$2" | grep -q "$3" || fail "$1: file says $(file -b "$dir/$2")"
}

check txt b.txt "text"
check 1 b.csv "text"
check htm b.htm "HTML document"
check xlsx b.xlsx "Microsoft Excel 2007+"
check 4 b.rtf "Rich Text Format"
check WMF b.wmf "Windows metafile"
check pdf b.pdf "PDF document"
check xhtml b.xhtml "XML"
check 8 b.gif "GIF image data"
check jpg b.jpg "JPEG image data"
check bmp b.bmp "PC bitmap"
check 11 b.emf "Windows Enhanced Metafile"
for f in b.gif b.jpg b.bmp; do
  zbarimg --quiet --raw "$dir/$f" 2>/dev/null | grep -qx "$barcode" || fail "$f: bars do not decode"
done
grep -q "00190.00009 01234.567004 00000.123174 1 16660000123456" "$dir/b.txt" || fail "typed line not in the text"

err=$("$boleto" render -t "$src/templates/MODBOLCOMP.QR2" -d "$src/templates/samples/boleto.json" \
  --format docx --out "$dir/x.docx" 2>&1); rc=$?
[ "$rc" -ne 0 ] || fail "an unknown format was accepted"
echo "$err" | grep -q "Formato de exportação desconhecido: docx" || fail "unknown format: $err"
[ ! -e "$dir/x.docx" ] || fail "a file was written for an unknown format"

[ "$failures" -eq 0 ] && echo "render formats: all checks passed"
[ "$failures" -eq 0 ]
