#!/usr/bin/env bash
# The running game's frame rate with the small demo map (Skerry) and 200
# units on screen, and its logic tick's cost in the same run: the game
# program in a temporary installation starts its skirmish, 200 light tanks
# (two blocks of 10 x 10, either side of the middle) are made through the
# console, the camera is put over them, and dbg_FrameStats prints the frames
# drawn per second over the seconds that follow, with the clock's averages of
# the logic tick and the drawing. The main thread's processor time over the
# same seconds (from /proc) is printed per frame drawn: the software renderer
# draws on threads of its own, and the main thread is what limits the frame.
# With "hud" last, the player's 200 tanks are selected (their marks, bars
# and slots) and perf_HudCost prints what the HUD's parts cost a frame over
# the same seconds; with "nohud" the HUD is hidden (cg_DrawGUI(0)) but for
# the radar.
#
# The game draws as fast as it can here (ge_MaxFPS(0)): under the 60 frames a
# second cap that it has by default, a frame that costs more and one that
# costs less read the same. Its floor, in turns with it in the same run, is
# build/bench/minimal_window drawing as many lit triangles (TRIANGLES, the
# 200 tanks' 33,000) from static buffers into a window of the same size as
# fast as it can; each round prints both, and the end the ratios game / floor
# of the frame rate and of the main thread's time per frame (min, median and
# max over the rounds).
#   xvfb-run -a -s "-screen 0 1280x1024x24 +extension GLX" bench/app/game_frame_rate.sh [build folder] [seconds] [hud|nohud] [rounds]
set -euo pipefail
BUILD=$(cd "${1:-build}" && pwd)
SECONDS_RUN=${2:-8}
HUD=${3:-}
ROUNDS=${4:-3}
TRIANGLES=${TRIANGLES:-33000}
tmp=$(mktemp -d /tmp/tessarak_framerate_XXXXXX)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/System" "$tmp/home"
ln -s "$BUILD/install/System/Tessarak" "$tmp/System/Tessarak"
cp -r "$BUILD/install/Tessarak" "$tmp/Tessarak"
# The skirmish on Skerry straight away (the shipped start opens the main menu).
mkdir -p "$tmp/Tessarak/Scripts"
printf 'GameMode(GM_Skirmish);\nStartLocalServer();\nMap("Skerry");\nAI_AddCommander();\nAI_Active(0);\nStartGame();\n' >"$tmp/Tessarak/Scripts/Autoexec.cfg"
export XDG_CONFIG_HOME="$tmp/home" XDG_DATA_HOME="$tmp/home" TESSARAK_HEADLESS_DIALOGS=1
export SDL_AUDIODRIVER=dummy ALSOFT_DRIVERS=null LIBGL_ALWAYS_SOFTWARE=1
[ -n "${DISPLAY:-}" ] || export SDL_VIDEODRIVER=offscreen
# One game run: prints its HUD line (with "hud"), its frame statistics and
# "main thread M ms per frame".
run_game() {
  mkfifo "$tmp/in"
  (cd "$tmp/System" && exec ./Tessarak <"$tmp/in" >"$tmp/out" 2>&1) &
  game=$!
  exec 3>"$tmp/in"
  for _ in $(seq 300); do grep -q "Initializing Game" "$tmp/out" && break; sleep 0.1; done
  sleep 2
  {
    for side in 0 1; do
      for i in $(seq 0 99); do
        x=$(awk -v s=$side -v i=$i 'BEGIN { printf "%.1f", (s ? 3.4 : -25) + 2.4 * (i % 10) }')
        z=$(awk -v i=$i 'BEGIN { printf "%.1f", -12 + 2.4 * int(i / 10) }')
        if [ $side = 0 ]; then echo "Create(\"Granite_LightTank\", $x, $z, 1, 0, $((1000 + i)));"
        else echo "Create(\"Coral_LightTank\", $x, $z, 2, 0, $((2000 + i)));"; fi
      done
    done
    echo "View_GameSceneCenterX(0); View_GameSceneCenterY(0); View_GameSceneDistance(30); View_GameSceneZoom(1.5);"
  } >&3
  sleep 2
  # The main thread's user and system ticks so far (fields 14 and 15 of its stat).
  main_ticks() { awk '{print $14 + $15}' "/proc/$game/task/$game/stat"; }
  case "$HUD" in
    hud) echo 'SelectAllUnits(); perf_HudCost();' >&3 ;;
    nohud) echo 'cg_DrawGUI(0);' >&3 ;;
  esac
  echo 'ge_MaxFPS(0); dbg_FrameStats();' >&3
  t0=$(main_ticks)
  sleep "$SECONDS_RUN"
  echo 'dbg_FrameStats();' >&3
  t1=$(main_ticks)
  [ "$HUD" = hud ] && echo 'perf_HudCost();' >&3
  for _ in $(seq 50); do [ "$(grep -c "Frames per second" "$tmp/out")" -ge 2 ] && break; sleep 0.1; done
  [ "$HUD" = hud ] && for _ in $(seq 50); do [ "$(grep -c "^HUD: " "$tmp/out")" -ge 2 ] && break; sleep 0.1; done
  echo 'Quit();' >&3
  wait "$game" || true
  [ "$HUD" = hud ] && grep "^HUD: " "$tmp/out" | tail -1
  line=$(grep "Frames per second" "$tmp/out" | tail -1)
  echo "$line"
  echo "$line" | awk -v ticks=$((t1 - t0)) -v hz="$(getconf CLK_TCK)" \
    '{ frames = $4 * $6; if (frames > 0) printf "main thread %.2f ms per frame (%.2f s over %d frames)\n", ticks / hz * 1000 / frames, ticks / hz, frames }'
}

echo "load: $(uptime)"
: >"$tmp/rounds"
for round in $(seq "$ROUNDS"); do
  rm -f "$tmp/in" "$tmp/out"
  game_out=$(run_game)
  floor_out=$(cd "$tmp" && "$BUILD/bench/minimal_window" triangles "$TRIANGLES" "$SECONDS_RUN")
  echo "round $round"
  echo "$game_out" | sed 's/^/  game:  /'
  echo "$floor_out" | sed 's/^/  floor: /'
  gfps=$(echo "$game_out" | awk '/Frames per second/ { print $4 }')
  gms=$(echo "$game_out" | awk '/^main thread/ { print $3 }')
  ffps=$(echo "$floor_out" | awk '/^frames per second/ { print $4 }')
  fms=$(echo "$floor_out" | awk '/^main thread/ { print $3 }')
  echo "${gfps:-0} ${gms:-0} ${ffps:-0} ${fms:-0}" >>"$tmp/rounds"
done
ratios() {  # columns a / b: min, median and max
  awk -v a="$1" -v b="$2" '$b > 0 { print $a / $b }' "$tmp/rounds" | sort -g |
    awk '{ r[NR] = $1 } END { if (NR) printf "min %.2f  median %.2f  max %.2f\n", r[1], r[int((NR + 1) / 2)], r[NR] }'
}
printf 'frame rate, game / floor:                 %s\n' "$(ratios 1 3)"
printf 'main thread per frame, game / floor:      %s\n' "$(ratios 2 4)"
echo "load: $(uptime)"
