#!/usr/bin/env bash
# Checks of the source tree that the compiler does not make:
#  - every C++ source is formatted by the project's .clang-format;
#  - no library includes a header of a layer above it.
# Run by the test command (CTest test "tree_check"); exits non-zero with the
# offending files listed.
set -uo pipefail
cd "$(dirname "$0")/../.."
status=0

# Layers, bottom to top. A folder may include its own headers and those of the
# folders listed for it, nothing else of the project.
declare -A allowed=(
  [platform]="platform"
  [core]="core platform"
  [e3d]="e3d core platform"
  [console]="console e3d core platform"
  [nwe]="nwe core platform"
  [world]="world console e3d nwe core platform"
  [netgame]="netgame world console e3d nwe core platform"
  [ai]="ai netgame world console e3d nwe core platform"
  [ui]="ui ai netgame world console e3d nwe core platform"
  [app]="app ui ai netgame world console e3d nwe core platform"
  [commands]="commands app ui ai netgame world console e3d nwe core platform"
  [launcher]="launcher core platform"
)
for dir in "${!allowed[@]}"; do
  [ -d "$dir" ] || continue
  while IFS=: read -r file line inc; do
    top=${inc%%/*}
    ok=0
    for a in ${allowed[$dir]}; do [ "$a" = "$top" ] && ok=1; done
    # Only folders of the project count; system headers never carry a '/' prefix of ours.
    if [ $ok = 0 ] && [ -n "${allowed[$top]+x}" ]; then
      echo "layer: $file:$line includes $inc ($dir may not reach $top)"
      status=1
    fi
  done < <(git grep -n -o -E '#include "[A-Za-z0-9_]+/[^"]*"' -- "$dir" | sed -E 's/#include "([^"]*)"/\1/')
done

if command -v clang-format >/dev/null; then
  unformatted=$(git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run 2>&1 | grep -oE '^[^:]+:[0-9]+:[0-9]+: warning' | cut -d: -f1 | sort -u)
  if [ -n "$unformatted" ]; then
    echo "format: these files differ from .clang-format (run clang-format -i on them):"
    printf '  %s\n' $unformatted
    status=1
  fi
else
  echo "format: clang-format not found"
  status=1
fi
exit $status
