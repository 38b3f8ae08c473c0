#!/bin/sh
# `boleto mail` on a fresh embedded database, delivering to a real SMTP server on
# 127.0.0.1:2525 (the demo branches' server): one message per pending boleto of the account,
# each with the boleto PDF whose bars decode to the stored barcode; the customer with note
# addresses gets them as recipients and the DANFE of the note beside the boleto; every boleto
# sent is recorded as emitted; the run's list and temporary files are gone.
set -u
boleto=$1
here=$(cd "$(dirname "$0")/../../.." && pwd)
server="$here/host/smtp/testing/smtp-test-server.py"
dir=$(mktemp -d)
export BOLETO_SECRET_KEY_FILE="$dir/key/secret.key"
export TMPDIR="$dir/tmp"
mkdir -p "$TMPDIR"
stop() { /usr/bin/python3 "$server" --state-dir "$dir/smtp" --stop >/dev/null 2>&1; rm -rf "$dir"; }
trap stop EXIT
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

if ! /usr/bin/python3 "$server" --state-dir "$dir/smtp" --daemon --lifetime 300 \
  --plain-port 2525 >/dev/null 2>&1; then
  echo "SKIP port 2525 is taken: the demo branches' server cannot be started"
  exit 0
fi

out=$("$boleto" --db b.db mail --company 04 --account 001 2>err.txt); rc=$?
[ "$rc" -eq 0 ] || fail "mail exit status $rc: $(cat err.txt) $out"
echo "$out" | grep -q '^\[1/' || fail "no progress line: $out"
echo "$out" | grep -q 'boleto(s) enviado(s), 0 não enviado(s)' || fail "no summary: $out"
n=$(ls smtp/mail/*.eml 2>/dev/null | wc -l)
[ "$n" -eq 3 ] || fail "$n messages received, 3 expected"
/usr/bin/python3 "$server" --parse smtp/mail/*.eml >/dev/null 2>&1
danfe=0
for eml in smtp/mail/*.eml; do
  base=${eml%.eml}
  mkdir -p "$base.parts"
  python3 - "$eml" "$base.parts" <<'PY'
import email, sys, os
from email import policy
m = email.message_from_binary_file(open(sys.argv[1], 'rb'), policy=policy.default)
for part in m.iter_attachments():
    open(os.path.join(sys.argv[2], part.get_filename()), 'wb').write(part.get_content())
PY
  for pdf in "$base.parts"/*.pdf; do
    name=$(basename "$pdf" .pdf)
    case "$name" in
    *-nfe)
      danfe=$((danfe + 1))
      key=${name%-nfe}
      pdftoppm -r 300 -f 1 -l 1 -png "$pdf" "$base.parts/danfe"
      zbarimg --raw -q "$base.parts"/danfe*.png 2>/dev/null | grep -qx "$key" ||
        fail "DANFE bars of $key do not decode to its access key"
      grep -q "nfe.joao@mail.example" "$base.json" || fail "DANFE went to $(cat "$base.json")"
      ;;
    *)
      key=$(printf '%s' "$name" | tail -c 14)
      branch=$(printf '%s' "$key" | cut -c1-4)
      number=$(printf '%s' "$key" | cut -c5-14)
      row=$(sql "SELECT CDBARRAREC || '|' || IDSTATBREC FROM BOLRECEBER WHERE CDFILIAL='$branch' AND NRLANBOLREC='$number'")
      barcode=$(echo "$row" | cut -d'|' -f1)
      [ "$(echo "$row" | cut -d'|' -f2)" = "E" ] || fail "$key not recorded: $row"
      pdftoppm -r 300 -f 1 -l 1 -png "$pdf" "$base.parts/bol"
      zbarimg --raw -q "$base.parts"/bol*.png 2>/dev/null | grep -qx "$barcode" ||
        fail "$key bars do not decode to $barcode"
      ;;
    esac
  done
done
[ "$danfe" -eq 1 ] || fail "$danfe DANFE attachments, 1 expected"
[ "$(sql 'SELECT COUNT(*) FROM LISTA') $(sql 'SELECT COUNT(*) FROM LISTAITEM')" = "0 0" ] ||
  fail "the run's list is still on the service"
left=$(find "$TMPDIR" -name 'boleto-mail-*' | wc -l)
[ "$left" -eq 0 ] || fail "$left run folders left in the temporary directory"

again=$("$boleto" --db b.db mail --company 04 --account 001 2>&1); rc=$?
echo "$again" | grep -q 'nada a enviar' || fail "second run: $again"

[ "$failures" -eq 0 ] && echo "mail command: all checks passed ($n messages)"
[ "$failures" -eq 0 ]
