#!/usr/bin/env bash
# How many times real time the game program itself runs a fast game: the game
# in a temporary installation, headless (no X server: SDL's offscreen
# video), a skirmish on FourWinds of four computer players (the local side
# idle beside them), srv_GameSpeed(200). The game time is read from the
# game's own frame statistics (dbg_FrameStats) before and after a stretch of
# wall time; the floor is 100 times real time.
#   bench/app/game_speed.sh [build folder] [seconds] [runs]
# Prints one line per run (game seconds per wall second, frames drawn per
# second) and min / median / max over the runs, with the machine's load.
set -euo pipefail
BUILD=$(cd "${1:-build}" && pwd)
SECONDS_RUN=${2:-10}
RUNS=${3:-3}
SPEED=${GAME_SPEED:-200}
FLOOR=100
tmp=$(mktemp -d /tmp/tessarak_speed_XXXXXX)
game=""
cleanup() {
  [ -n "$game" ] && kill "$game" 2>/dev/null || true
  [ -n "${KEEP_OUT:-}" ] && cp "$tmp/out" "$KEEP_OUT" 2>/dev/null; rm -rf "$tmp"
}
trap cleanup EXIT
[ -x "$BUILD/install/System/Tessarak/Tessarak" ] || [ -e "$BUILD/install/System/Tessarak" ] ||
  { echo "the game is not installed under $BUILD/install" >&2; exit 1; }
mkdir -p "$tmp/System" "$tmp/home"
ln -s "$BUILD/install/System/Tessarak" "$tmp/System/Tessarak"
cp -r "$BUILD/install/Tessarak" "$tmp/Tessarak"
mkdir -p "$tmp/Tessarak/Scripts"
unset DISPLAY
export XDG_CONFIG_HOME="$tmp/home" XDG_DATA_HOME="$tmp/home" TESSARAK_HEADLESS_DIALOGS=1
export SDL_AUDIODRIVER=dummy ALSOFT_DRIVERS=null LIBGL_ALWAYS_SOFTWARE=1 SDL_VIDEODRIVER=offscreen

printf '%s\n' 'GameMode(GM_Skirmish);
StartLocalServer();
Map("FourWinds");
AI_AddCommander();
AI_AddCommander();
AI_AddCommander();
AI_AddCommander();
StartGame();
echo("measure from here");' > "$tmp/Tessarak/Scripts/Autoexec.cfg"

# The game time (seconds) and the frame count of the game's first frame
# statistics line after the byte offset given.
first_stats() {
  tail -c +"$(($1 + 1))" "$tmp/out" | grep -a "game time" | head -1 |
    sed -E 's/.*frame ([0-9]+), game time ([0-9.]+) s.*/\2 \1/'
}

results=()
for run in $(seq "$RUNS"); do
  rm -f "$tmp/in" "$tmp/out"
  mkfifo "$tmp/in"
  (cd "$tmp/System" && exec ./Tessarak <"$tmp/in" >"$tmp/out" 2>&1) &
  game=$!
  exec 3>"$tmp/in"
  for _ in $(seq 600); do grep -aq "measure from here" "$tmp/out" 2>/dev/null && break; sleep 0.1; done
  # The game loop runs once the start handshake is through.
  for _ in $(seq 300); do
    size=$(stat -c %s "$tmp/out")
    echo 'dbg_FrameStats();' >&3
    sleep 0.2
    read -r g _ <<<"$(first_stats "$size")" || true
    [ -n "${g:-}" ] && awk -v g="$g" 'BEGIN { exit !(g > 0.5) }' && break
  done
  echo "srv_GameSpeed($SPEED);" >&3
  sleep 2  # the speed reaches every part of the game
  size=$(stat -c %s "$tmp/out")
  t0=$(date +%s%N)
  echo 'dbg_FrameStats();' >&3
  sleep "$SECONDS_RUN"
  size1=$(stat -c %s "$tmp/out")
  t1=$(date +%s%N)
  echo 'dbg_FrameStats();' >&3
  for _ in $(seq 100); do [ -n "$(first_stats "$size1")" ] && break; sleep 0.05; done
  read -r g0 f0 <<<"$(first_stats "$size")"
  read -r g1 f1 <<<"$(first_stats "$size1")"
  echo 'Quit();' >&3
  exec 3>&-
  wait "$game" || true
  game=""
  line=$(awk -v g0="$g0" -v g1="$g1" -v f0="$f0" -v f1="$f1" -v ns=$((t1 - t0)) \
    'BEGIN { s = ns / 1e9; printf "%.1f %.1f", (g1 - g0) / s, (f1 - f0) / s }')
  read -r ratio fps <<<"$line"
  printf 'run %d: %.1f times real time (%.1f game s in %.1f s), %.1f frames drawn a second\n' \
    "$run" "$ratio" "$(awk -v a="$g0" -v b="$g1" 'BEGIN { print b - a }')" \
    "$(awk -v ns=$((t1 - t0)) 'BEGIN { print ns / 1e9 }')" "$fps"
  results+=("$ratio")
done
printf '%s\n' "${results[@]}" | sort -n | awk -v floor=$FLOOR -v load="$(cut -d' ' -f1-3 /proc/loadavg)" '
  { v[NR] = $1 }
  END { printf "min / median / max: %.1f / %.1f / %.1f times real time (floor %d; load %s)\n",
        v[1], v[int((NR + 1) / 2)], v[NR], floor, load }'
