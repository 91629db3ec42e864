#!/usr/bin/env bash
# A headless skirmish saved after <save at> ticks, loaded in a new process
# and run on to <until>: the loaded game's sync CRC after every tick equals
# the one of the game that kept running.
#   saved_skirmish.sh <saved_skirmish program> <save at> <until>
set -euo pipefail
program=$1 at=$2 until=$3
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
"$program" play "$dir" "$at" "$until" >"$dir/play.txt"
saved=$(awk '$1 == "saved" { print $2 }' "$dir/play.txt")
if [ -z "$saved" ]; then
  echo "the game was not saved"
  exit 1
fi
"$program" load "$dir" "$until" >"$dir/load.txt"
awk -v s="$saved" '$1 != "saved" && $1 + 0 > s' "$dir/play.txt" >"$dir/kept.txt"
if ! diff -q "$dir/kept.txt" "$dir/load.txt" >/dev/null; then
  echo "saved after tick $saved; the loaded game differs:"
  diff "$dir/kept.txt" "$dir/load.txt" | head -20
  exit 1
fi
echo "saved after tick $saved; $(wc -l <"$dir/load.txt") ticks to $until alike, $(stat -c %s "$dir/Save/skirmish") bytes"
