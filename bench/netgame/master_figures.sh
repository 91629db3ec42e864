#!/usr/bin/env bash
# The master server's memory and CPU with SERVERS registered game servers and
# USERS chat users (simulated games of tessarak_master_load, each from an
# address of its own, started one after another over 5 s), held for SECONDS:
# every link keeps itself alive, each user says a line about every 30 s and
# asks for the list about every 60 s, each server changes its map about
# every 30 s. Every game must be accepted within CONNECT_LIMIT seconds of the
# first one's start (10 s), the master's status lines must keep coming while
# it is held, and SIGINT must stop it within 2 s; the script exits 1 when one
# of these fails.
# Usage: bench/netgame/master_figures.sh [build/install/System] [SERVERS] [USERS] [SECONDS] [CONNECT_LIMIT]
set -u
SYS=${1:-build/install/System}
SERVERS=${2:-2000}
USERS=${3:-2000}
HOLD=${4:-30}
LIMIT=${5:-10}
out=$(mktemp)
load_out=$(mktemp)
"$SYS/tessarak_master" --port 0 --max-servers $((SERVERS + 100)) --max-users $((USERS + 100)) --status 1 >"$out" &
pid=$!
trap 'kill $pid 2>/dev/null; rm -f "$out" "$load_out"' EXIT
for _ in $(seq 100); do grep -q LISTENING "$out" && break; sleep 0.05; done
port=$(awk '/LISTENING/{print $3}' "$out")
mem() { awk '/VmRSS/{r=$2} /VmHWM/{h=$2} END{printf "rss=%.1fMB peak=%.1fMB", r/1024, h/1024}' /proc/$pid/status; }
cpu() { awk '{print $14 + $15}' /proc/$pid/stat; }
hz=$(getconf CLK_TCK)
failed=0
echo "master on port $port, idle: $(mem)"
"$SYS/tessarak_master_load" --remote "127.0.0.1:$port" --servers "$SERVERS" --users "$USERS" \
  --seconds "$HOLD" >"$load_out" &
load=$!
for _ in $(seq 1800); do grep -q CONNECTED "$load_out" && break; sleep 0.05; done
cat "$load_out"
if ! awk -v s="$SERVERS" -v u="$USERS" -v limit="$LIMIT" '/CONNECTED/{
      split($2, a, "="); split($3, b, "="); ok = a[2] == s && b[2] == u && $5 <= limit }
    END{exit !ok}' "$load_out"; then
  echo "FAILED: not every game was accepted within $LIMIT s"
  failed=1
fi
sleep 2
c0=$(cpu)
t0=$(date +%s.%N)
s0=$(grep -c '^SERVERS' "$out")
echo "all connected: $(mem)"
wait $load
c1=$(cpu)
t1=$(date +%s.%N)
s1=$(grep -c '^SERVERS' "$out")
tail -n 1 "$load_out"
echo "held: $(mem)"
grep '^SERVERS' "$out" | tail -n 1
awk -v c0="$c0" -v c1="$c1" -v t0="$t0" -v t1="$t1" -v hz="$hz" \
  'BEGIN{printf "master CPU while held: %.1f%% of one core over %.0f s\n", 100*(c1-c0)/hz/(t1-t0), t1-t0}'
held=$(awk -v t0="$t0" -v t1="$t1" 'BEGIN{printf "%d", t1-t0}')
echo "status lines while held: $((s1 - s0)) in ${held} s"
if [ $((s1 - s0)) -lt $((held / 2)) ]; then
  echo "FAILED: the master's status lines stopped"
  failed=1
fi
ts=$(date +%s.%N)
kill -INT $pid
for _ in $(seq 200); do kill -0 $pid 2>/dev/null || break; sleep 0.05; done
te=$(date +%s.%N)
if kill -0 $pid 2>/dev/null; then
  echo "FAILED: the master did not stop within 10 s of SIGINT"
  failed=1
else
  stop=$(awk -v a="$ts" -v b="$te" 'BEGIN{printf "%.2f", b-a}')
  echo "stopped on SIGINT in $stop s"
  awk -v s="$stop" 'BEGIN{exit !(s > 2)}' && { echo "FAILED: SIGINT took more than 2 s"; failed=1; }
fi
exit $failed
