#!/usr/bin/env bash
# CPU the game program costs while it waits and while it plays: the game in a
# temporary installation, its process's user and system time read from
# /proc before and after a stretch of wall time, as a share of one core.
#   menu     the main menu as the game opens it, nobody at the keys
#   lobby    a hosted lobby on Skerry that nobody starts (the interface frame)
#   game     the running skirmish on Skerry with 200 light tanks on screen
#   xvfb-run -a -s "-screen 0 1280x1024x24 +extension GLX" bench/app/game_cpu.sh [build folder] [seconds] [menu|lobby|game|all]
# Prints one line per case: seconds of CPU per second of wall time, and the
# threads the process ran with. The floor, measured right after each case in
# the same run: build/bench/minimal_window presenting a cleared frame 15
# times a second and sleeping between, as the game's menus left alone do;
# each line gives the ratio to it. The machine's load comes first.
set -euo pipefail
BUILD=$(cd "${1:-build}" && pwd)
SECONDS_RUN=${2:-10}
WHICH=${3:-all}
tmp=$(mktemp -d /tmp/tessarak_cpu_XXXXXX)
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
export XDG_CONFIG_HOME="$tmp/home" XDG_DATA_HOME="$tmp/home" TESSARAK_HEADLESS_DIALOGS=1
export SDL_AUDIODRIVER=dummy ALSOFT_DRIVERS=null LIBGL_ALWAYS_SOFTWARE=1
[ -n "${DISPLAY:-}" ] || export SDL_VIDEODRIVER=offscreen
ticks=$(getconf CLK_TCK)

# User plus system time of the process, in clock ticks.
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
# The same per thread: "tid ticks name" lines.
thread_ticks() {
  for t in /proc/"$1"/task/*; do
    awk -v id="${t##*/}" '{print id, $14 + $15}' "$t/stat" 2>/dev/null | tr '\n' ' '
    cat "$t/comm" 2>/dev/null || echo
  done
}

# Runs the game with the start-up script given, feeds it the console lines
# given once it is up, then measures.
measure() {
  local name=$1 script=$2 lines=$3
  printf '%s\n' "$script" > "$tmp/Tessarak/Scripts/Autoexec.cfg"
  rm -f "$tmp/in" "$tmp/out"
  mkfifo "$tmp/in"
  (cd "$tmp/System" && exec ./Tessarak <"$tmp/in" >"$tmp/out" 2>&1) &
  game=$!
  exec 3>"$tmp/in"
  for _ in $(seq 300); do grep -q "measure from here" "$tmp/out" 2>/dev/null && break; sleep 0.1; done
  [ -n "$lines" ] && printf '%s\n' "$lines" >&3
  sleep 3  # the start settles
  local t0 c0 t1 c1
  t0=$(date +%s%N)
  c0=$(cpu_ticks "$game")
  thread_ticks "$game" > "$tmp/threads0"
  sleep "$SECONDS_RUN"
  c1=$(cpu_ticks "$game")
  thread_ticks "$game" > "$tmp/threads1"
  t1=$(date +%s%N)
  local threads
  threads=$(awk '/^Threads/ {print $2}' "/proc/$game/status")
  echo 'Quit();' >&3
  exec 3>&-
  wait "$game" || true
  game=""
  local floor
  floor=$(cd "$tmp" && "$BUILD/bench/minimal_window" idle "$SECONDS_RUN" | awk '/^cpu/ { print $2 }')
  awk -v c=$((c1 - c0)) -v hz="$ticks" -v ns=$((t1 - t0)) -v n="$name" -v th="$threads" -v f="${floor:-0}" \
    'BEGIN { g = (c / hz) / (ns / 1e9); printf "%-6s %.3f CPU seconds per second (%d threads); floor %.3f", n, g, th, f
             if (f > 0) printf ", %.2f times the floor", g / f
             printf "\n" }'
  # The threads that cost more than 1% of a core, by name.
  awk -v hz="$ticks" -v s=$(((t1 - t0) / 1000000)) 'NR == FNR { a[$1] = $2; next }
      { d = ($2 - a[$1]) / hz / (s / 1000); if (d >= 0.01) by[$3] += d }
      END { for (n in by) printf "         %-16s %.3f\n", n, by[n] }' "$tmp/threads0" "$tmp/threads1" | sort -k2 -rn
}

echo "load: $(uptime)"
if [ "$WHICH" = menu ] || [ "$WHICH" = all ]; then
  measure menu "${MENU_PREFIX:-}"'echo("measure from here");' ""
fi
if [ "$WHICH" = lobby ] || [ "$WHICH" = all ]; then
  measure lobby "${LOBBY_PREFIX:-}"'GameMode(GM_Multi);
StartServer(0);
Map("Skerry");
echo("measure from here");' ""
fi
if [ "$WHICH" = game ] || [ "$WHICH" = all ]; then
  units=""
  for side in 0 1; do
    for i in $(seq 0 99); do
      x=$(awk -v s=$side -v i="$i" 'BEGIN { printf "%.1f", (s ? 3.4 : -25) + 2.4 * (i % 10) }')
      z=$(awk -v i="$i" 'BEGIN { printf "%.1f", -12 + 2.4 * int(i / 10) }')
      if [ $side = 0 ]; then units+="Create(\"Granite_LightTank\", $x, $z, 1, 0, $((1000 + i)));"$'\n'
      else units+="Create(\"Coral_LightTank\", $x, $z, 2, 0, $((2000 + i)));"$'\n'; fi
    done
  done
  units+="View_GameSceneCenterX(0); View_GameSceneCenterY(0); View_GameSceneDistance(30); View_GameSceneZoom(1.5);"
  measure game 'GameMode(GM_Skirmish);
StartLocalServer();
Map("Skerry");
AI_AddCommander();
AI_Active(0);
StartGame();
echo("measure from here");' "$units"
fi
echo "load: $(uptime)"
