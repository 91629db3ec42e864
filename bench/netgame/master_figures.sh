#!/usr/bin/env bash
# The master server's memory and CPU with SERVERS registered game servers and
# USERS chat users (simulated games of tessarak_master_load, each from an
# address of its own), held for SECONDS: every link keeps itself alive, each
# user says a line about every 30 s and asks for the list about every 60 s,
# each server changes its map about every 30 s.
# Usage: bench/netgame/master_figures.sh [build/install/System] [SERVERS] [USERS] [SECONDS]
set -u
SYS=${1:-build/install/System}
SERVERS=${2:-1000}
USERS=${3:-1000}
HOLD=${4:-60}
out=$(mktemp)
load_out=$(mktemp)
"$SYS/tessarak_master" --port 0 --max-servers $((SERVERS + 100)) --max-users $((USERS + 100)) >"$out" &
pid=$!
trap 'kill $pid 2>/dev/null; rm -f "$out" "$load_out"' EXIT
for _ in $(seq 100); do grep -q LISTENING "$out" && break; sleep 0.05; done
port=$(awk '/LISTENING/{print $3}' "$out")
mem() { awk '/VmRSS/{r=$2} /VmHWM/{h=$2} END{printf "rss=%.1fMB peak=%.1fMB", r/1024, h/1024}' /proc/$pid/status; }
cpu() { awk '{print $14 + $15}' /proc/$pid/stat; }
hz=$(getconf CLK_TCK)
echo "master on port $port, idle: $(mem)"
"$SYS/tessarak_master_load" --remote "127.0.0.1:$port" --servers "$SERVERS" --users "$USERS" \
  --seconds "$HOLD" >"$load_out" &
load=$!
for _ in $(seq 1200); do grep -q CONNECTED "$load_out" && break; sleep 0.05; done
cat "$load_out"
sleep 2
c0=$(cpu)
t0=$(date +%s.%N)
echo "all connected: $(mem)"
wait $load
c1=$(cpu)
t1=$(date +%s.%N)
cat "$load_out" | tail -n 1
echo "held: $(mem)"
awk -v c0="$c0" -v c1="$c1" -v t0="$t0" -v t1="$t1" -v hz="$hz" \
  'BEGIN{printf "master CPU while held: %.1f%% of one core over %.0f s\n", 100*(c1-c0)/hz/(t1-t0), t1-t0}'
