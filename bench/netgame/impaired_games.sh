#!/usr/bin/env bash
# Three game programs play a network game on Skerry through impairment relays
# of their own (tools' nwe_relay), one between each client and the host, for
# some minutes, and their worlds are compared frame by frame: each prints the
# sync CRC of every fifteenth frame. The players give their tanks new goals
# every 20 seconds. At the end: the frames compared and those that differ,
# the resyncs, the links lost and what the relays did.
#   xvfb-run -a -s "-screen 0 1280x1024x24 +extension GLX" \
#     bench/netgame/impaired_games.sh [build folder] [minutes] [loss] [duplicate] [delay] [corrupt]
# The defaults: 10 minutes, loss 0.05, duplicate 0.03, delay 0.03, corrupt 0.01;
# RELAY names another relay program than the build's own; MAP another map
# than Skerry; AI=1 adds a computer player on the host.
set -uo pipefail
BUILD=$(cd "${1:-build}" && pwd)
MINUTES=${2:-10}
LOSS=${3:-0.05} DUP=${4:-0.03} DELAY=${5:-0.03} CORRUPT=${6:-0.01}
MAP=${MAP:-Skerry}
tmp=$(mktemp -d /tmp/tessarak_impaired_XXXXXX)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT
export TESSARAK_HEADLESS_DIALOGS=1 SDL_AUDIODRIVER=dummy ALSOFT_DRIVERS=null LIBGL_ALWAYS_SOFTWARE=1
[ -n "${DISPLAY:-}" ] || export SDL_VIDEODRIVER=offscreen
port=$((40000 + RANDOM % 20000))

# start NAME SCRIPT: a game program in an installation of its own, its
# standard input the fifo NAME/in.
start() {
  local d=$tmp/$1
  mkdir -p "$d/System" "$d/home" "$d/Tessarak"
  ln -s "$BUILD/install/System/Tessarak" "$d/System/Tessarak"
  cp -r "$BUILD/install/Tessarak/." "$d/Tessarak/"
  mkdir -p "$d/Tessarak/Scripts"
  printf '%s\n' "$2" > "$d/Tessarak/Scripts/Autoexec.cfg"
  mkfifo "$d/in"
  (cd "$d/System" && XDG_CONFIG_HOME=$d/home XDG_DATA_HOME=$d/home exec ./Tessarak <"$d/in" >"$d/out" 2>&1) &
  pids+=($!)
  eval "pid_$1=$!"
  eval "exec {fd_$1}>\"$d/in\""
}
say() { local v="fd_$1"; echo "$2" >&"${!v}"; }
wait_for() {  # NAME TEXT SECONDS
  for _ in $(seq $(($3 * 10))); do grep -q "$2" "$tmp/$1/out" 2>/dev/null && return 0; sleep 0.1; done
  echo "no \"$2\" from $1" >&2
  return 1
}

start host "Name(\"Hosty\"); GameMode(GM_Multi); StartServer($port); Map(\"$MAP\"); dbg_SyncCrc(15);"
wait_for host "Server started on port $port" 60 || exit 1
for c in one two; do
  "${RELAY:-$BUILD/install/System/nwe_relay}" --server "127.0.0.1:$port" --loss "$LOSS" --duplicate "$DUP" \
    --delay "$DELAY" --corrupt "$CORRUPT" --seed $((RANDOM + 1)) >"$tmp/relay_$c" 2>&1 &
  pids+=($!)
done
for c in one two; do
  for _ in $(seq 50); do grep -q RELAY "$tmp/relay_$c" && break; sleep 0.1; done
  start "$c" "nw_ClientPort(0); Name(\"Player$c\"); dbg_SyncCrc(15);"
done
for c in one two; do wait_for "$c" "Benchmark speed" 60 || exit 1; done
sleep 2
for c in one two; do say "$c" "Connect(\"$(awk '/RELAY/ {print $2}' "$tmp/relay_$c")\");"; done
for c in one two; do wait_for host "Player$c entered the game" 60 || exit 1; done
[ "${AI:-0}" = 1 ] && say host "AI_AddCommander();"
for _ in $(seq 60); do
  say host "StartGame();"
  sleep 2
  grep -q "Initializing Game" "$tmp/host/out" && break
done
wait_for host "Sync CRC of frame" 60 || exit 1
rss() { local v="pid_$1"; awk '/^VmRSS/ {print int($2 / 1024)}' "/proc/${!v}/status" 2>/dev/null; }
end=$(($(date +%s) + MINUTES * 60))
while [ "$(date +%s)" -lt "$end" ]; do
  for c in host one two; do echo "$(rss $c)" >>"$tmp/$c.rss"; done
  x=$((RANDOM % 60 - 30)) z=$((RANDOM % 60 - 30))
  say host "AddMoveOrder(1$((RANDOM % 3 + 1)), $x, 0, $z, 0);"
  say one "AddMoveOrder(2$((RANDOM % 3 + 1)), $((-x)), 0, $((-z)), 0);"
  sleep 20
done
sleep 5
for c in host one two; do say "$c" "Quit();"; done
# Each program must end on its own within 30 s of its Quit.
quit_at=$(date +%s)
for c in host one two; do
  v="pid_$c"
  while kill -0 "${!v}" 2>/dev/null && [ $(($(date +%s) - quit_at)) -lt 30 ]; do sleep 0.2; done
  if kill -0 "${!v}" 2>/dev/null; then
    echo "$c: still running 30 s after Quit"
    ended_bad=1
  else
    echo "$c: ended $(($(date +%s) - quit_at)) s after Quit"
  fi
done

# The sync CRCs by frame, the wraps after 8191 counted.
crcs() {
  awk '/^Sync CRC of frame/ { f = $5 + 0; if (f < last) wrap += 8191; last = f; sub(":", "", $5); print f + wrap, $6 }' "$tmp/$1/out"
}
crcs host >"$tmp/host.crc"
result=0
echo "host: $(wc -l <"$tmp/host.crc") frames reported, the last $(tail -1 "$tmp/host.crc" | cut -d' ' -f1) ($(( $(tail -1 "$tmp/host.crc" | cut -d' ' -f1) / 15 )) s of game time)"
grep -q -E "Mission failed|died!" "$tmp/host/out" && echo "host: the game ended: $(grep -E "Mission failed|died!" "$tmp/host/out" | tr -d '\r' | tr '\n' ' ')"
for c in one two; do
  crcs "$c" >"$tmp/$c.crc"
  compared=$(join "$tmp/host.crc" "$tmp/$c.crc" | wc -l)
  differ=$(join "$tmp/host.crc" "$tmp/$c.crc" | awk '$2 != $3' | wc -l)
  echo "$c: $compared frames compared with the host's, $differ differ"
  # Every frame the host reported must be matched by the client's (the last
  # ten may be cut off by the Quit). A game the computer player wins ends
  # its sync lines early; on a starved machine the game runs slower than
  # real time: both are said, neither is a failure.
  [ "$differ" -eq 0 ] && [ "$compared" -ge $(($(wc -l <"$tmp/host.crc") - 10)) ] && [ "$compared" -gt 0 ] || result=1
done
for c in host one two; do
  echo "$c: resyncs $(grep -c 'Resyncing Game' "$tmp/$c/out"), links lost $(grep -c -E 'Connection to server was lost|timed out' "$tmp/$c/out")"
  grep -q -E 'Connection to server was lost|timed out' "$tmp/$c/out" && result=1
done
for c in host one two; do
  echo "$c: memory $(head -1 "$tmp/$c.rss") MB at the start, $(sort -n "$tmp/$c.rss" | tail -1) MB at most, $(tail -1 "$tmp/$c.rss") MB at the end"
done
[ -z "${ended_bad:-}" ] || result=1
for c in one two; do echo "relay $c: $(grep COUNTS "$tmp/relay_$c" | tail -1)"; done
exit $result
