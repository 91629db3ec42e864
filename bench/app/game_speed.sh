#!/usr/bin/env bash
# How many times faster than real time the game program itself runs a game of
# computer players: the game in a temporary installation starts a skirmish on
# FourWinds with four computer players, asks for srv_GameSpeed(SPEED) (200
# unless set), and dbg_FrameStats reads the game time at the start and at the
# end of a stretch of wall time; game seconds over wall seconds is the figure,
# against the floor of 100 times real time. ai_bench's BM_FourComputerPlayersGame
# measures the same game in the test harness, without the game program's frame.
#   xvfb-run -a -s "-screen 0 1280x1024x24 +extension GLX" bench/app/game_speed.sh [build folder] [seconds] [rounds]
# Prints each round, then min, median and max over the rounds, and the load.
set -euo pipefail
BUILD=$(cd "${1:-build}" && pwd)
SECONDS_RUN=${2:-10}
ROUNDS=${3:-3}
SPEED=${SPEED:-200}
FLOOR=100
tmp=$(mktemp -d /tmp/tessarak_speed_XXXXXX)
game=""
cleanup() {
  [ -n "$game" ] && kill "$game" 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT
mkdir -p "$tmp/System" "$tmp/home"
ln -s "$BUILD/install/System/Tessarak" "$tmp/System/Tessarak"
cp -r "$BUILD/install/Tessarak" "$tmp/Tessarak"
mkdir -p "$tmp/Tessarak/Scripts"
printf '%s\n' 'GameMode(GM_Skirmish); StartLocalServer(); Map("FourWinds");' \
  'AI_AddCommander(); AI_AddCommander(); AI_AddCommander(); AI_AddCommander();' \
  "StartGame(); srv_GameSpeed($SPEED);" 'echo("measure from here");' >"$tmp/Tessarak/Scripts/Autoexec.cfg"
export XDG_CONFIG_HOME="$tmp/home" XDG_DATA_HOME="$tmp/home" TESSARAK_HEADLESS_DIALOGS=1
export SDL_AUDIODRIVER=dummy ALSOFT_DRIVERS=null LIBGL_ALWAYS_SOFTWARE=1
[ -n "${DISPLAY:-}" ] || export SDL_VIDEODRIVER=offscreen

echo "load: $(uptime)"
: >"$tmp/rounds"
for round in $(seq "$ROUNDS"); do
  rm -f "$tmp/in" "$tmp/out"
  mkfifo "$tmp/in"
  (cd "$tmp/System" && exec ./Tessarak <"$tmp/in" >"$tmp/out" 2>&1) &
  game=$!
  exec 3>"$tmp/in"
  for _ in $(seq 600); do grep -q "measure from here" "$tmp/out" 2>/dev/null && break; sleep 0.1; done
  sleep 3 # the game starts
  echo 'dbg_FrameStats();' >&3
  sleep "$SECONDS_RUN"
  echo 'dbg_FrameStats();' >&3
  for _ in $(seq 100); do [ "$(grep -c "Frames per second" "$tmp/out")" -ge 2 ] && break; sleep 0.1; done
  echo 'Quit();' >&3
  exec 3>&-
  wait "$game" || true
  game=""
  # "Frames per second F over W s; ... game time G s": the two last lines.
  grep "Frames per second" "$tmp/out" | tail -2 |
    awk '{ for (i = 1; i <= NF; ++i) { if ($i == "over") w = $(i + 1); if ($i == "time") g[NR] = $(i + 1) } }
         END { if (w > 0) printf "%.1f %.1f %.2f\n", (g[2] - g[1]) / w, w, g[2] }' >"$tmp/round"
  read -r times wall gametime <"$tmp/round" || times=0
  printf 'round %d: %s times real time (%s s of wall time; game time at the end %s s)\n' \
    "$round" "${times:-0}" "${wall:-?}" "${gametime:-?}"
  echo "${times:-0}" >>"$tmp/rounds"
done
sort -g "$tmp/rounds" | awk -v f=$FLOOR '{ r[NR] = $1 } END {
  printf "times real time: min %.1f  median %.1f  max %.1f (floor %d: median %s)\n", r[1], r[int((NR + 1) / 2)], r[NR], f,
    (r[int((NR + 1) / 2)] >= f) ? "met" : "not met" }'
echo "load: $(uptime)"
