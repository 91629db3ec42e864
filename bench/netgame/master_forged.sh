#!/usr/bin/env bash
# The master server under forged CONNECTs: FORGED CONNECT datagrams, RATE a
# second, each from an address of its own that never reads an answer (as a
# sender with a forged source address), while PROBES honest chat users
# connect through the master's challenge (tessarak_master_load --forged).
# Prints the master's memory idle, at its peak and 10 s after the flood, its
# CPU during the flood, when the probes were all accepted and the master's
# own count of its links. Exits 1 when a probe was not accepted, or when the
# links not yet answered were still there 10 s after the flood.
# Usage: bench/netgame/master_forged.sh [build/install/System] [FORGED] [RATE] [PROBES]
set -u
SYS=${1:-build/install/System}
FORGED=${2:-8000}
RATE=${3:-4000}
PROBES=${4:-20}
out=$(mktemp)
load_out=$(mktemp)
"$SYS/tessarak_master" --port 0 --status 1 >"$out" &
pid=$!
trap 'kill $pid 2>/dev/null; rm -f "$out" "$load_out"' EXIT
for _ in $(seq 100); do grep -q LISTENING "$out" && break; sleep 0.05; done
port=$(awk '/LISTENING/{print $3}' "$out")
mem() { awk '/VmRSS/{r=$2} /VmHWM/{h=$2} END{printf "rss=%.1fMB peak=%.1fMB", r/1024, h/1024}' /proc/$pid/status; }
cpu() { awk '{print $14 + $15}' /proc/$pid/stat; }
hz=$(getconf CLK_TCK)
failed=0
echo "master on port $port, idle: $(mem)"
c0=$(cpu)
t0=$(date +%s.%N)
flood=$(awk -v f="$FORGED" -v r="$RATE" 'BEGIN{printf "%d", f / r + 3}')
"$SYS/tessarak_master_load" --remote "127.0.0.1:$port" --servers 0 --users "$PROBES" --ramp 1 \
  --forged "$FORGED" --forged-rate "$RATE" --seconds "$flood" >"$load_out"
c1=$(cpu)
t1=$(date +%s.%N)
cat "$load_out"
grep -q "CONNECTED servers=0 users=$PROBES " "$load_out" || { echo "FAILED: a probe was not accepted"; failed=1; }
echo "after the flood: $(mem)"
awk -v c0="$c0" -v c1="$c1" -v t0="$t0" -v t1="$t1" -v hz="$hz" \
  'BEGIN{printf "master CPU during the flood: %.1f%% of one core over %.1f s\n", 100*(c1-c0)/hz/(t1-t0), t1-t0}'
# Status: SERVERS a USERS b CHANNELS c REFUSED d LINKS e UNANSWERED f
grep '^SERVERS' "$out" | awk '$10 > l {l = $10} $12 > u {u = $12} END{printf "most links: %d, most not yet answered: %d\n", l, u}'
sleep 10
echo "10 s later: $(mem)"
last=$(grep '^SERVERS' "$out" | tail -n 1)
echo "$last"
echo "$last" | awk '{exit !($12 == 0)}' || { echo "FAILED: links not yet answered are left"; failed=1; }
exit $failed
