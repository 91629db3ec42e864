#!/usr/bin/env bash
# Runs one benchmark program the way its figures are taken, the same for
# anyone: the machine's load first (uptime), every case repeated five times
# in random interleaving (the cases of one program see the same load), under
# a virtual X server with Mesa's software renderer and OpenAL Soft's null
# output, at low priority (the machine is shared). Extra arguments go to the
# program (a --benchmark_filter, say).
#   bench/run.sh <name>_bench [build folder] [benchmark arguments...]
# The scripts beside the programs (app/startup_time.sh, app/game_frame_rate.sh,
# app/game_start_time.sh, nwe/hostile_figures.sh) say how they are run.
set -euo pipefail
name=${1:?usage: bench/run.sh <name>_bench [build folder] [benchmark arguments...]}
BUILD=$(cd "${2:-build}" && pwd)
shift $(( $# >= 2 ? 2 : 1 ))
program="$BUILD/bench/$name"
[ -x "$program" ] || { echo "no benchmark program $program (build it first)" >&2; exit 2; }
echo "load: $(uptime)"
export LIBGL_ALWAYS_SOFTWARE=1 ALSOFT_DRIVERS=null SDL_AUDIODRIVER=dummy
args=(--benchmark_repetitions=5 --benchmark_enable_random_interleaving=true "$@")
if [ -n "${DISPLAY:-}" ]; then
  nice "$program" "${args[@]}"
else
  nice xvfb-run -a -s "-screen 0 1280x1024x24 +extension GLX" "$program" "${args[@]}"
fi
echo "load: $(uptime)"
