#!/bin/sh
# `boleto check` on what customers send: the complete boleto rendered here as a PDF, then as
# pictures made worse the way scans and phone photos are (turned, blurred, noisy, grey paper,
# JPEG at a modest resolution), each read back to the same boleto; and the pictures that are
# not a valid boleto, each refused with its reason.
set -u
boleto=$1
root=$(cd "$(dirname "$0")/../../../.." && pwd)
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir" || exit 1
failures=0
fail() { echo "FAIL $*"; failures=$((failures + 1)); }
date=2026-11-20
sample="$root/templates/samples/boleto.json"
bars=00191166600001234560000001234567000000012317

# expect_valid NAME FILE: one valid boleto, the sample's, read from FILE.
expect_valid() {
  out=$("$boleto" check "$2" --date $date 2>&1); rc=$?
  [ "$rc" -eq 0 ] || fail "$1: exit status $rc: $out"
  [ "$(echo "$out" | grep -c '^valid ')" -eq 1 ] || fail "$1: not one valid boleto: $out"
  case "$out" in
    *"bank=001 due=2026-12-20 value=1234.56 "*"barcode=$bars "*) ;;
    *) fail "$1: read as $out" ;;
  esac
}
# expect_invalid NAME FILE REASON: refused, exit status 1, the reason given.
expect_invalid() {
  out=$("$boleto" check "$2" --date $date 2>&1); rc=$?
  [ "$rc" -eq 1 ] || fail "$1: exit status $rc: $out"
  case "$out" in *"$3"*) ;; *) fail "$1: [$out] does not say [$3]" ;; esac
}

"$boleto" render -t "$root/templates/MODBOLCOMP.QR2" -d "$sample" -o boleto.pdf >/dev/null ||
  fail "render the sample boleto"
expect_valid "PDF" boleto.pdf
case "$out" in *"page=1 source=barras"*) ;; *) fail "PDF: source of the reading: $out" ;; esac

# Scans and photos of the printed page.
pdftoppm -r 200 -f 1 -l 1 -png boleto.pdf page >/dev/null 2>&1
page=$(ls page*.png | head -1)
expect_valid "PNG scan" "$page"
convert "$page" -background white -rotate 90 -rotate 3 scan-turned.png
expect_valid "scan turned 93 degrees" scan-turned.png
convert "$page" -background gray75 -rotate -11 -blur 0x1.2 -attenuate 0.5 +noise Gaussian \
  -level 12%,88% -resize 1600x -quality 60 photo.jpg
expect_valid "photo-like JPEG" photo.jpg
# 1300 pixels across A4: the narrow bars are 1.6 pixels wide.
convert "$page" -background gray75 -rotate 7 -blur 0x0.8 -attenuate 0.5 +noise Gaussian \
  -level 10%,90% -resize 1300x -quality 60 photo-small.jpg
expect_valid "photo-like JPEG of low resolution" photo-small.jpg
convert "$page" -background gray60 -rotate 32 -blur 0x1 -attenuate 0.3 +noise Gaussian \
  -resize 1400x -quality 70 photo-askew.jpg
expect_valid "photo held askew" photo-askew.jpg
convert "$page" -colorspace Gray -depth 16 gray16.png
expect_valid "16-bit grey PNG" gray16.png

# Not a valid boleto.
convert -size 1200x900 xc:white -fill black -draw "rectangle 100,100 600,140" blank.png
expect_invalid "no code" blank.png "invalid reason=nenhum código de barras encontrado"
sed "s/\"CDBARRAREC\": \"$bars\"/\"CDBARRAREC\": \"00195166600001234560000001234567000000012317\"/" \
  "$sample" > wrong-digit.json
"$boleto" render -t "$root/templates/MODBOLCOMP.QR2" -d wrong-digit.json -o wrong.pdf >/dev/null
expect_invalid "wrong general digit" wrong.pdf "dígito geral errado"
cat > codes.QR2 <<'QR2'
QR2 1
title "Outros códigos"
page A4 portrait margins=10,10,10,10
dataset D
band detail D height=120
  barcode qr 10 10 60 60 "{TEXTO}"
  barcode i2of5 10 80 60 13 "{CURTO}"
end
QR2
pix=$("$boleto" pix --key 52998224725 --amount 10.00 --name Fulano --city Recife 2>/dev/null)
printf '{"datasets": {"D": [{"TEXTO": "%s", "CURTO": "12345678901234567890"}]}}' "$pix" > codes.json
"$boleto" render -t codes.QR2 -d codes.json -o codes.pdf >/dev/null || fail "render the other codes"
expect_invalid "other codes" codes.pdf "o código lido não é de boleto ("
case "$out" in *"QR-Code de ${#pix} caracteres"*"I2/5 de 20 caracteres"* | *"I2/5 de 20 caracteres"*"QR-Code de ${#pix} caracteres"*) ;;
  *) fail "other codes: not both named: $out" ;; esac

# A PDF whose bars cannot be read still carries the typed line in its text.
sed "s/\"CDBARRAREC\": \"$bars\"/\"CDBARRAREC\": \"\"/" "$sample" > no-bars.json
"$boleto" render -t "$root/templates/MODBOLCOMP.QR2" -d no-bars.json -o no-bars.pdf >/dev/null
expect_valid "typed line in the text" no-bars.pdf
case "$out" in *"source=texto"*) ;; *) fail "typed line: source: $out" ;; esac

# A typed line altered after the boleto was issued: the bars still carry the boleto, the text
# another one (a valid line of another bank's boleto).
sed 's/"DSLINHABARREC": "[^"]*"/"DSLINHABARREC": "23791.10006 60000.000079 89010.200304 4 68270000028990"/' \
  "$sample" > altered.json
"$boleto" render -t "$root/templates/MODBOLCOMP.QR2" -d altered.json -o altered.pdf >/dev/null
expect_invalid "altered typed line" altered.pdf \
  "invalid reason=a linha digitável impressa (23791100066000000007989010200304468270000028990) não é a do código de barras"
echo "$out" | grep -q "^valid bank=001 .*barcode=$bars" || fail "altered: the bars are still read: $out"

# Files that cannot be read say so, and a list goes on past them.
printf 'not a picture' > fake.png
expect_invalid "not a picture" fake.png "Formato não reconhecido"
head -c 300 "$page" > cut.png
expect_invalid "damaged PNG" cut.png "PNG danificado"
expect_invalid "missing file" missing.jpg "Arquivo não encontrado: missing.jpg"
out=$(printf '%s\nfake.png\n%s\n' boleto.pdf photo.jpg | "$boleto" check - --date $date 2>&1); rc=$?
[ "$rc" -eq 1 ] || fail "list: exit status $rc"
[ "$(echo "$out" | grep -c '^valid ')" -eq 2 ] || fail "list: two valid: $out"
echo "$out" | grep -q '^invalid reason=Formato não reconhecido.* file=fake.png' || fail "list: $out"
json=$("$boleto" check photo.jpg --date $date --json)
for want in '"valid":true' '"file":"photo.jpg"' '"page":1' '"source":"barras"' '"value":1234.56'; do
  case "$json" in *"$want"*) ;; *) fail "json: $want not in $json" ;; esac
done

[ "$failures" -eq 0 ] && echo "check pictures: all checks passed"
[ "$failures" -eq 0 ]
