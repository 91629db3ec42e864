#!/usr/bin/env bash
# The echo tool (nwe_peer --echo) under hostile senders, measured from outside
# with nwe_hostile, and a real sender (nwe_peer --send) beside them:
#  1. 64 senders of one junk byte, then a real sender;
#  2. 378 datagrams that each claim an 8 MiB message: the echo tool's memory;
#  3. a flood of valid datagrams (RATE a second for SECONDS) that are never
#     acknowledged: the echo tool's memory during and after it, and a real
#     sender's round trip during and after it.
# Usage: bench/nwe/hostile_figures.sh [build/install/System] [RATE] [SECONDS]
set -u
SYS=${1:-build/install/System}
RATE=${2:-200000}
SECONDS_FLOOD=${3:-20}
PEER="$SYS/nwe_peer"
HOSTILE="$SYS/nwe_hostile"

out=$(mktemp)
"$PEER" --port 0 --echo --seconds $((SECONDS_FLOOD + 120)) >"$out" &
pid=$!
trap 'kill $pid 2>/dev/null; rm -f "$out"' EXIT
for _ in $(seq 100); do grep -q LISTENING "$out" && break; sleep 0.05; done
port=$(awk '/LISTENING/{print $3}' "$out")
at="127.0.0.1:$port"
mem() { awk '/VmRSS/{r=$2} /VmHWM/{h=$2} END{printf "rss=%.1fMB peak=%.1fMB", r/1024, h/1024}' /proc/$pid/status; }
real() { "$PEER" --remote "$at" --send 150:32:${1:-100} --interval ${2:-20} --timeout 30 | tr '\n' ' '; echo; }

echo "echo tool on $at: $(mem)"
echo "== 64 junk senders, then a real one"
"$HOSTILE" --remote "$at" --junk 64
echo "real sender: $(real 100 5)"
echo "== 378 amplifying datagrams (8 MiB claimed each)"
"$HOSTILE" --remote "$at" --amplify 378
sleep 1
echo "echo tool: $(mem)"
echo "== flood of $RATE valid datagrams a second for $SECONDS_FLOOD s, never acknowledged"
"$HOSTILE" --remote "$at" --flood "$RATE:$SECONDS_FLOOD" &
flood=$!
sleep 2
echo "during, real sender: $(real 200 20)"
for t in 1 2 3; do sleep 3; echo "during: $(mem)"; done
wait $flood
echo "after, $(mem)"
sleep 2
echo "after, real sender: $(real 200 20)"
sleep 20
echo "20 s after: $(mem)"
