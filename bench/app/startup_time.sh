#!/usr/bin/env bash
# Start-up time of the game: from the process start to its first interface
# frame (the frame that runs ToConsole.cfg), in a temporary installation.
#   bench/app/startup_time.sh [build folder] [runs]
# Run it under an X server for the window figure (xvfb-run -a ...); without
# DISPLAY it uses SDL's offscreen driver. Prints each run and the median.
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
[ -n "${DISPLAY:-}" ] || export SDL_VIDEODRIVER=offscreen
times=()
for i in $(seq "$RUNS"); do
  start=$(date +%s%N)
  (cd "$tmp/System" && ./Tessarak) | while IFS= read -r line; do
    if [ "$line" = "first interface frame" ]; then
      echo $(( ($(date +%s%N) - start) / 1000000 )) > "$tmp/ms"
    fi
  done
  ms=$(cat "$tmp/ms")
  echo "run $i: $ms ms"
  times+=("$ms")
done
printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {print "median: " a[int((NR+1)/2)] " ms"}'
