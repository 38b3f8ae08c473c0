#!/bin/sh
# `boleto code` and `boleto check` as a user calls them: outputs, JSON keys and exit status.
set -u
boleto=$1
failures=0
expect() {  # expect NAME ACTUAL EXPECTED
  if [ "$2" != "$3" ]; then
    echo "FAIL $1: got [$2] expected [$3]"
    failures=$((failures + 1))
  fi
}
json() { node -e 'let s="";process.stdin.on("data",d=>s+=d).on("end",()=>{for(const l of s.trim().split("\n")){const o=JSON.parse(l);console.log(JSON.stringify(o[process.argv[1]]))}})' "$1"; }

good="23791.10006 60000.000079 89010.200304 4 68270000028990"
out=$("$boleto" check "$good" --date 2016-06-01); rc=$?
expect "check valid status" "$rc" 0
expect "check valid text" "$(echo "$out" | cut -d' ' -f1-4)" "valid bank=237 due=2016-06-16 value=289.90"

out=$("$boleto" check "23791.10006 60000.000079 89010.200304 5 68270000028990" --json); rc=$?
expect "check wrong general digit status" "$rc" 1
expect "check wrong general digit reason" "$(echo "$out" | json reason)" '"dígito geral errado: 5 em vez de 4"'
expect "check invalid dueDate" "$(echo "$out" | json dueDate)" null

out=$(printf '%s\n\n%s\n%s\n' "$good" "23794682700000289901100060000000078901020030" "1234" \
  | "$boleto" check - --json --date 2016-06-01); rc=$?
expect "stdin status with one bad line" "$rc" 1
expect "stdin one result per line" "$(echo "$out" | json valid | tr '\n' ' ')" "true true false "
expect "stdin value" "$(echo "$out" | head -1 | json value)" 289.9

out=$("$boleto" code --bank 237 --agency 1100 --account 0102003 --carteira 06 --sequence 789 \
  --due 2016-06-16 --value 289.90 --date 2016-06-01 --json); rc=$?
expect "code status" "$rc" 0
expect "code nossoNumero" "$(echo "$out" | json nossoNumero)" '"00000000789-9"'
expect "code barcode" "$(echo "$out" | json barcode)" '"23794682700000289901100060000000078901020030"'
expect "code formatted" "$(echo "$out" | json typedLineFormatted)" "\"$good\""

today=$(date +%Y-%m-%d)
line=$("$boleto" code --bank 341 --agency 0293 --account 013280 --carteira 109 --sequence 157 \
  --due "$today" --value 10 --json | json typedLine | tr -d '"')
expect "today's factor decodes to today" "$("$boleto" check "$line" --json | json dueDate)" "\"$today\""

"$boleto" code --bank 999 --agency 1 --account 1 --carteira 1 --sequence 1 --due 2026-01-01 \
  --value 1 >/dev/null 2>&1
expect "bank without layout and template" "$?" 1
"$boleto" code --bank 237 --agency 1100 --account 0102003 --carteira 06 --sequence 789 \
  --due 2026-01-01 --value 100000000 >/dev/null 2>&1
expect "value beyond ten digits" "$?" 1

err=$(mktemp)
trap 'rm -f "$err"' EXIT
# Due dates the factor cannot carry, seen from the processing date, are refused both ways: the
# bank network reads a factor within 3,000 days before and 5,500 after the current date.
code237() {  # code237 DUE DATE: exit status of `boleto code` for that due and processing date
  "$boleto" code --bank 237 --agency 1100 --account 0102003 --carteira 06 --sequence 789 \
    --due "$1" --value 10 --date "$2" --json 2>"$err"
}
line=$(code237 2041-12-29 2026-12-08 | json typedLine | tr -d '"')
expect "last due date of the window" "$("$boleto" check "$line" --date 2026-12-08 --json | json dueDate)" '"2041-12-29"'
code237 2041-12-30 2026-12-08 >/dev/null
expect "due date past the window" "$?" 1
grep -q "fora da janela" "$err" || { echo "FAIL no window message: $(cat "$err")"; failures=$((failures + 1)); }
code237 2018-09-20 2026-12-08 >/dev/null
expect "due date before the window" "$?" 1
line=$(code237 2018-09-21 2026-12-08 | json typedLine | tr -d '"')
expect "first due date of the window" "$("$boleto" check "$line" --date 2026-12-08 --json | json dueDate)" '"2018-09-21"'

# A sequence wider than the bank's field is refused, never folded: a 6-digit Banco do Brasil
# agreement carries five digits of it.
"$boleto" code --bank 001 --agency 4042 --account 61900 --carteira 18 --agreement 123879 \
  --sequence 99999 --due 2026-12-20 --value 10 --date 2026-12-08 >/dev/null 2>"$err"
expect "five digits of a 6-digit agreement" "$?" 0
"$boleto" code --bank 001 --agency 4042 --account 61900 --carteira 18 --agreement 123879 \
  --sequence 100000 --due 2026-12-20 --value 10 --date 2026-12-08 >/dev/null 2>"$err"
expect "six digits of a 6-digit agreement" "$?" 1
grep -q "esgotada" "$err" || { echo "FAIL no exhausted range message: $(cat "$err")"; failures=$((failures + 1)); }

# Carteiras of a layout the module does not have are refused, not coded in another layout.
"$boleto" code --bank 399 --agency 0207 --account 0012349 --carteira CNR --sequence 1 \
  --due 2026-12-20 --value 10 --date 2026-12-08 >/dev/null 2>"$err"
expect "HSBC CNR" "$?" 1
"$boleto" code --bank 409 --agency 01236 --account 100618 --carteira 5 --sequence 1 \
  --due 2026-12-20 --value 10 --date 2026-12-08 >/dev/null 2>"$err"
expect "Unibanco carteira 5" "$?" 1
grep -q "Unibanco" "$err" || { echo "FAIL no carteira message: $(cat "$err")"; failures=$((failures + 1)); }

[ "$failures" -eq 0 ] && echo "bank commands: all checks passed"
exit "$failures"
