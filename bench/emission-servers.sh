#!/bin/sh
# Emission of N pending boletos of account 001 as one PDF each with `boleto emit`, timed from
# process start to the last PDF, on PostgreSQL, each run on a freshly seeded database:
#   embedded   the command's own service on the database (no server);
#   list       one emitter through a list of two boleto-server instances on the database;
#   two        two emitters at once, each listing the other instance first, half the boletos
#              each (split by due date).
# Prints wall time and the processor time of the emitters and of the servers.
#
#   pg_virtualenv -t -o fsync=off sh bench/emission-servers.sh build/dev [count] [runs...]
set -eu
build=${1:?build directory}
count=${2:-1000}
shift 2 2>/dev/null || shift $#
runs=${*:-embedded list two}
boleto=$(realpath "$build/apps/boleto/boleto")
server=$(realpath "$build/apps/boleto-server/boleto-server")
export BOLETO_PASSWORD=bench-emissao
dir=$(mktemp -d)
pids=
trap 'for p in $pids; do kill "$p" 2>/dev/null; done; rm -rf "$dir"' EXIT INT TERM HUP
cd "$dir"

ticks() {  # processor time of a process so far, in clock ticks
  awk '{print $14 + $15}' "/proc/$1/stat"
}
start_server() {  # start_server NAME DB: sets $url and $pid
  "$server" serve --db "$2" --listen 127.0.0.1:0 --log none >"$1.out" 2>&1 &
  pid=$!
  pids="$pids $pid"
  url=
  for _ in $(seq 100); do
    url=$(sed -n 's/.*\(http:\/\/127.0.0.1:[0-9]*\).*/\1/p' "$1.out")
    [ -n "$url" ] && break
    sleep 0.1
  done
  [ -n "$url" ] || { echo "server $1 did not start: $(cat "$1.out")" >&2; exit 1; }
}
# emit LABEL RANGE ARGS...: one timed emitter (RANGE: "" or "FROM TO", due dates); wall
# time, processor time and peak memory go to LABEL.time
emit() {
  label=$1 range=$2
  shift 2
  # shellcheck disable=SC2086
  set -- "$@" emit --company 04 --account 001 --dir "$label" \
    ${range:+--due-from ${range% *} --due-to ${range#* }}
  /usr/bin/time -f "%e %U %S %M" -o "$label.time" "$boleto" "$@" >"$label.out" 2>&1 ||
    { echo "emitter $label failed: $(tail -3 "$label.out")" >&2; return 1; }
}
sum() { echo "$*" | awk '{ t = 0; for (i = 1; i <= NF; i++) t += $i; printf "%.2f", t }'; }
files() { find "$@" -name '*.pdf' | wc -l; }
seconds() { awk -v t="$1" 'BEGIN { printf "%.2f", t / 100 }'; }

tps=$(getconf CLK_TCK)
[ "$tps" = 100 ] || { echo "clock ticks of $tps a second: the figures assume 100" >&2; exit 1; }
echo "load before: $(uptime)"
for run in $runs; do
  db=$(echo "boleto_emit_${run}_$$" | tr -cd 'a-z0-9_')
  createdb "$db"
  url_db="postgresql:///$db"
  "$server" seed --demo --boletos "$count" --db "$url_db" >/dev/null
  case $run in
    embedded)
      emit e1 "" --db "$url_db"
      read -r wall user sys mem <e1.time
      echo "embedded: $(files e1) PDF files in $wall s; processor $(sum "$user" "$sys") s; peak ${mem} KB"
      ;;
    list)
      start_server a "$url_db"; a=$url; pa=$pid
      start_server b "$url_db"; b=$url; pb=$pid
      ca=$(ticks "$pa"); cb=$(ticks "$pb")
      emit l1 "" --server "$a,$b" --user demo
      read -r wall user sys mem <l1.time
      sa=$(($(ticks "$pa") - ca)); sb=$(($(ticks "$pb") - cb))
      echo "list of two servers: $(files l1) PDF files in $wall s; emitter processor $(sum "$user" "$sys") s, servers $(seconds "$sa") s + $(seconds "$sb") s"
      kill "$pa" "$pb"; wait "$pa" "$pb" 2>/dev/null || true
      ;;
    two)
      start_server a "$url_db"; a=$url; pa=$pid
      start_server b "$url_db"; b=$url; pb=$pid
      ca=$(ticks "$pa"); cb=$(ticks "$pb")
      half=$(date -d "+30 days" +%d/%m/%Y)
      after=$(date -d "+31 days" +%d/%m/%Y)
      t0=$(date +%s.%N)
      emit t1 "01/01/1900 $half" --server "$a,$b" --user demo &
      w1=$!
      emit t2 "$after 31/12/2999" --server "$b,$a" --user demo &
      w2=$!
      wait "$w1" "$w2"
      t1=$(date +%s.%N)
      sa=$(($(ticks "$pa") - ca)); sb=$(($(ticks "$pb") - cb))
      read -r wall1 user1 sys1 _ <t1.time
      read -r wall2 user2 sys2 _ <t2.time
      echo "two emitters on two servers: $(files t1 t2) PDF files in $(echo "$t1 $t0" | awk '{ printf "%.2f", $1 - $2 }') s (runs $wall1 s and $wall2 s); emitters processor $(sum "$user1" "$sys1" "$user2" "$sys2") s, servers $(seconds "$sa") s + $(seconds "$sb") s"
      kill "$pa" "$pb"; wait "$pa" "$pb" 2>/dev/null || true
      ;;
    *) echo "unknown run $run" >&2; exit 2 ;;
  esac
  dropdb "$db"
done
echo "load after: $(uptime)"
