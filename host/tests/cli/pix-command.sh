#!/bin/sh
# `boleto pix`: the manual's example built and read back, a charge with every field, and
# damaged or wrong texts refused with their reason and a non-zero exit status.
set -u
boleto=$1
failures=0
fail() { echo "FAIL $*"; failures=$((failures + 1)); }
manual='00020126580014br.gov.bcb.pix0136123e4567-e12b-12d1-a456-4266554400005204000053039865802BR5913Fulano de Tal6008BRASILIA62070503***63041D3D'

out=$("$boleto" pix --key 123e4567-e12b-12d1-a456-426655440000 --name "Fulano de Tal" --city BRASILIA); rc=$?
[ "$rc" -eq 0 ] && [ "$out" = "$manual" ] || fail "manual example built as [$out] ($rc)"

out=$("$boleto" pix --decode "$manual"); rc=$?
[ "$rc" -eq 0 ] || fail "manual example refused: $out"
echo "$out" | head -1 | grep -qx 'valid key=123e4567-e12b-12d1-a456-426655440000 keyKind=aleatória amount=open name=Fulano de Tal city=BRASILIA txid=\*\*\*' ||
  fail "manual example summary: $out"
echo "$out" | grep -qx '    26.00 GUI: br.gov.bcb.pix' || fail "nested field not named: $out"
echo "$out" | grep -qx '  63 CRC: 1D3D' || fail "CRC not named: $out"

text=$("$boleto" pix --key "12.ABC.345/01DE-35" --amount 1234,5 --name "Épsilon Eventos e Festas Ltda" \
  --city "São Paulo" --txid 00010000000047 --description "Boleto 0001/0000000047" 2>warn.txt); rc=$?
[ "$rc" -eq 0 ] || fail "full charge: $rc $(cat warn.txt)"
grep -q 'aviso: nome do recebedor cortado em 25 caracteres: "Epsilon Eventos e Festas"' warn.txt ||
  fail "the cut name is not reported: $(cat warn.txt)"
json=$("$boleto" pix --decode "$text" --json)
for want in '"valid":true' '"keyKind":"CNPJ"' '"key":"12ABC34501DE35"' '"amount":"1234.50"' \
  '"cents":123450' '"merchantCity":"Sao Paulo"' '"txid":"00010000000047"'; do
  case "$json" in *"$want"*) ;; *) fail "full charge: $want not in $json" ;; esac
done
rm -f warn.txt

damaged=$(printf '%s' "$manual" | sed 's/Fulano/Fulana/')
out=$("$boleto" pix --decode "$damaged"); rc=$?
[ "$rc" -eq 1 ] || fail "damaged text: exit status $rc"
echo "$out" | head -1 | grep -q '^invalid reason=CRC errado: 1D3D no texto' || fail "damaged: $out"
out=$("$boleto" pix --decode "not a pix code"); rc=$?
[ "$rc" -eq 1 ] || fail "not a code: exit status $rc"

err=$("$boleto" pix --key fulano@ --name X --city Y 2>&1); rc=$?
[ "$rc" -eq 1 ] || fail "bad key: exit status $rc"
case "$err" in *"Chave Pix inválida: chave e-mail 'fulano@' malformada."*) ;; *) fail "bad key: $err" ;; esac
err=$("$boleto" pix --key 52998224725 --amount 10.005 --name X --city Y 2>&1); rc=$?
[ "$rc" -eq 1 ] || fail "three decimals: exit status $rc"
case "$err" in *"Valor '10.005' inválido"*) ;; *) fail "three decimals: $err" ;; esac
err=$("$boleto" pix --key 52998224725 --city Y 2>&1); rc=$?
[ "$rc" -ne 0 ] || fail "no name accepted"

[ "$failures" -eq 0 ] && echo "pix command: all checks passed"
[ "$failures" -eq 0 ]
