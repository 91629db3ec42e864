#!/usr/bin/env bash
# Time from StartGame(); to the first logic tick of the game: a skirmish on
# the small demo map (Skerry), in a temporary installation. The start-up
# script asks for the game and prints the world's sync CRC after every tick;
# the time runs from the line before StartGame(); to the first CRC line.
#   bench/app/game_start_time.sh [build folder] [runs]
# Run it under an X server for the window figure (xvfb-run -a ...); without
# DISPLAY it uses SDL's offscreen driver. Prints each run and the median.
set -euo pipefail
BUILD=$(cd "${1:-build}" && pwd)
RUNS=${2:-7}
tmp=$(mktemp -d /tmp/tessarak_gamestart_XXXXXX)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/System" "$tmp/home"
ln -s "$BUILD/install/System/Tessarak" "$tmp/System/Tessarak"
cp -r "$BUILD/install/Tessarak" "$tmp/Tessarak"
mkdir -p "$tmp/Tessarak/Scripts"
cat > "$tmp/Tessarak/Scripts/Autoexec.cfg" <<'SCRIPT'
GameMode(GM_Skirmish);
StartLocalServer();
Map("Skerry");
AI_AddCommander();
AI_Active(0);
dbg_SyncCrc(1);
echo("game start asked for");
StartGame();
SCRIPT
export XDG_CONFIG_HOME="$tmp/home" XDG_DATA_HOME="$tmp/home" TESSARAK_HEADLESS_DIALOGS=1
export SDL_AUDIODRIVER=dummy ALSOFT_DRIVERS=null
[ -n "${DISPLAY:-}" ] || export SDL_VIDEODRIVER=offscreen
times=()
mkfifo "$tmp/out"
for i in $(seq "$RUNS"); do
  (cd "$tmp/System" && exec ./Tessarak >"$tmp/out" 2>&1) &
  game=$!
  ms=""
  while IFS= read -r line; do
    case "$line" in
      "game start asked for") start=$(date +%s%N) ;;
      "Sync CRC of frame"*)
        ms=$(( ($(date +%s%N) - start) / 1000000 ))
        break ;;
    esac
  done < "$tmp/out"
  kill "$game" 2>/dev/null || true
  wait "$game" 2>/dev/null || true
  echo "run $i: $ms ms"
  times+=("$ms")
done
printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {print "median: " a[int((NR+1)/2)] " ms"}'
