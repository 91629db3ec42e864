#!/usr/bin/env bash
# Runs one benchmark program the way its figures are taken, the same for
# anyone: the machine's load first (uptime), every case repeated five times
# in random interleaving (the cases of one program see the same load), under
# a virtual X server with Mesa's software renderer and OpenAL Soft's null
# output, at low priority (the machine is shared). Extra arguments go to the
# program (a --benchmark_filter, say). At the end it prints every ratio
# counter (named vs_<baseline>: the baseline's time over ours, measured in
# turns with it in the same run) as min / median / max over the repetitions.
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
json=$(mktemp /tmp/tessarak_bench_XXXXXX.json)
trap 'rm -f "$json"' EXIT
args=(--benchmark_repetitions=5 --benchmark_enable_random_interleaving=true
  --benchmark_out="$json" --benchmark_out_format=json "$@")
if [ -n "${DISPLAY:-}" ]; then
  nice "$program" "${args[@]}"
else
  nice xvfb-run -a -s "-screen 0 1280x1024x24 +extension GLX" "$program" "${args[@]}"
fi
echo "load: $(uptime)"
python3 - "$json" <<'PY'
import json, sys
runs = json.load(open(sys.argv[1])).get("benchmarks", [])
seen = {}
for r in runs:
    if r.get("run_type") != "iteration":
        continue
    label = r.get("label", "")
    for k, v in r.items():
        if k.startswith("vs_") and isinstance(v, (int, float)):
            seen.setdefault((r["run_name"], label, k), []).append(v)
if seen:
    print("ratios (the baseline's time over ours), min / median / max:")
for (name, label, k), v in seen.items():
    v.sort()
    print(f"  {name} {label} {k}: {v[0]:.2f} / {v[(len(v) - 1) // 2]:.2f} / {v[-1]:.2f}")
PY
