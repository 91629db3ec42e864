#!/usr/bin/env bash
# Start-up of the game against the least SDL2 + OpenGL program
# (build/bench/minimal_window: a window, a context, one cleared frame) and
# against the same program presenting its frame as the game does (drawn off
# screen and copied to the window, "blit"), in turns in the same run: the
# processor time (user and system, every thread) of each from its start to
# its end, and the wall time from its start to its first frame: for the game
# the first interface frame (the frame that runs ToConsole.cfg, which quits),
# for the baselines their one presented frame. The game runs in a temporary
# installation.
#   bench/app/startup_time.sh [build folder] [rounds]
# Run it under an X server (xvfb-run -a -s "-screen 0 1280x1024x24 +extension
# GLX" ...); without DISPLAY both use SDL's offscreen driver. Prints each
# round, then the ratios game / baseline as min, median and max.
set -euo pipefail
BUILD=$(cd "${1:-build}" && pwd)
RUNS=${2:-7}
tmp=$(mktemp -d /tmp/tessarak_startup_XXXXXX)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/System" "$tmp/home"
ln -s "$BUILD/install/System/Tessarak" "$tmp/System/Tessarak"
cp -r "$BUILD/install/Tessarak" "$tmp/Tessarak"
mkdir -p "$tmp/Tessarak/Scripts"
printf 'echo("first interface frame");\nQuit();\n' > "$tmp/Tessarak/Scripts/ToConsole.cfg"
export XDG_CONFIG_HOME="$tmp/home" XDG_DATA_HOME="$tmp/home" TESSARAK_HEADLESS_DIALOGS=1
export SDL_AUDIODRIVER=dummy ALSOFT_DRIVERS=null LIBGL_ALWAYS_SOFTWARE=1
[ -n "${DISPLAY:-}" ] || export SDL_VIDEODRIVER=offscreen

# Runs a program until it ends; prints "<ms to the line> <cpu ms>": the wall
# time until it printed the line, and its user and system time.
measure() {
  local line=$1 dir=$2
  shift 2
  local start ms cpu TIMEFORMAT='%3U %3S'
  start=$(date +%s%N)
  cpu=$({ time (cd "$dir" && "$@" | while IFS= read -r out; do
      [ "$out" = "$line" ] && echo $(( ($(date +%s%N) - start) / 1000000 )) > "$tmp/ms"
    done) ; } 2>&1 | awk '{ printf "%d", ($1 + $2) * 1000 }')
  ms=$(cat "$tmp/ms" 2>/dev/null || echo 0)
  rm -f "$tmp/ms"
  echo "$ms $cpu"
}

printf 'round  first frame ms, cpu ms: game   baseline   baseline with blit\n'
: > "$tmp/rounds"
for i in $(seq "$RUNS"); do
  read -r gms gcpu < <(measure "first interface frame" "$tmp/System" ./Tessarak)
  read -r bms bcpu < <(measure "first frame" "$tmp" "$BUILD/bench/minimal_window")
  read -r xms xcpu < <(measure "first frame" "$tmp" "$BUILD/bench/minimal_window" blit)
  printf '%5d  %6d %6d   %6d %6d   %6d %6d\n' "$i" "$gms" "$gcpu" "$bms" "$bcpu" "$xms" "$xcpu"
  echo "$gms $gcpu $bms $bcpu $xms $xcpu" >> "$tmp/rounds"
done
ratios() {  # column pair: min, median and max of a/b
  awk -v a="$1" -v b="$2" '$b > 0 { print $a / $b }' "$tmp/rounds" | sort -g |
    awk '{ r[NR] = $1 } END { printf "min %.2f  median %.2f  max %.2f\n", r[1], r[int((NR + 1) / 2)], r[NR] }'
}
printf 'processor time, game / baseline:           %s\n' "$(ratios 2 4)"
printf 'processor time, game / baseline with blit: %s\n' "$(ratios 2 6)"
printf 'first frame, game / baseline:              %s\n' "$(ratios 1 3)"
