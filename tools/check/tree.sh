#!/usr/bin/env bash
# Checks of the source tree that the compiler does not make:
#  - every C++ source is formatted by the project's .clang-format;
#  - no library includes a header of a layer above it (so the world never
#    reaches the interface's or the game object's state);
#  - the engine (platform, core, e3d, console, nwe) names no type of the game
#    (a class, struct or enum a game folder's header declares at its top);
#  - a console variable is bound only by its owner: a row's storage is the
#    registering object's own member (&m_...), a file's own static (&s_...)
#    or constant (&k...), or a pointer its owner hands out, never the
#    address of another object's field (&e->m_fog, &game->m_vars.x);
#  - every simulation source (world/, netgame/, ai/, the frame and matrix code
#    of e3d/) includes the lockstep guard first; world/ reaches no clock;
#  - no library links itself, a library of a layer above it, or one twice
#    (the layers are a strict order, so the links then form no cycle).
# Run by the test command (CTest test "tree_check"); exits non-zero with the
# offending files listed. An argument names the tree to check (default: the
# one this script lives in); it must be a git work tree.
set -uo pipefail
cd "${1:-$(dirname "$0")/../..}" || exit 2
# The file lists come from git: outside a work tree nothing would be checked.
if ! git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  echo "tree: $(pwd) is not a git work tree"
  exit 2
fi
status=0

# Layers, bottom to top. A folder may include its own headers and those of the
# folders listed for it, nothing else of the project; it may link the same
# folders' libraries, its own excepted.
declare -A allowed=(
  [platform]="platform"
  [core]="core platform"
  [e3d]="e3d core platform"
  [console]="console e3d core platform"
  [nwe]="nwe core platform"
  [world]="world console e3d nwe core platform"
  [netgame]="netgame world console e3d nwe core platform"
  [ai]="ai netgame world console e3d nwe core platform"
  [ui]="ui netgame world console e3d nwe core platform"
  [app]="app ui ai netgame world console e3d nwe core platform"
  [commands]="commands app ui ai netgame world console e3d nwe core platform"
  [launcher]="launcher core platform"
)
may_use() {  # may_use <library> <other>
  local a
  for a in ${allowed[$1]}; do [ "$a" = "$2" ] && return 0; done
  return 1
}

# Includes. A <Program>_main.cpp is a program, not part of its folder's
# library: programs link everything.
for dir in "${!allowed[@]}"; do
  [ -d "$dir" ] || continue
  while IFS=: read -r file line inc; do
    top=${inc%%/*}
    # Only folders of the project count; system headers never carry a prefix of ours.
    if [ -n "${allowed[$top]+x}" ] && ! may_use "$dir" "$top"; then
      echo "layer: $file:$line includes $inc ($dir may not reach $top)"
      status=1
    fi
  done < <(git grep --untracked -n -o -E '#include "[A-Za-z0-9_]+/[^"]*"' -- "$dir" ':!*_main.cpp' |
           sed -E 's/#include "([^"]*)"/\1/')
done

# The lockstep guard: every simulation source includes core/Determinism.h
# before anything else: the world, the network game and the computer players
# (their services share files with the lockstep frame loop), and the frame
# tree and matrix code the world moves its objects with.
for file in $(git ls-files --cached --others --exclude-standard -- 'world/*.cpp' 'netgame/*.cpp' 'ai/*.cpp' \
                'e3d/Frame.cpp' 'e3d/E3DMath.cpp'); do
  [ -f "$file" ] || continue
  first=$(grep -m1 -E '^\s*#\s*include' "$file")
  if [ "$first" != '#include "core/Determinism.h"' ]; then
    echo "lockstep: $file does not include core/Determinism.h first"
    status=1
  fi
done

# No clock in the simulation: a result that depended on how fast a machine
# runs would differ between the machines of a network game. Game time comes
# from the world's clock role (Clock().GameTime(), TickStep()), which every
# machine advances by the same tick.
while IFS= read -r hit; do
  echo "lockstep: $hit reaches a clock (use the game time of the world's clock role)"
  status=1
done < <(git grep --untracked -n -E \
           '#include +[<"](chrono|ctime|time\.h|sys/time\.h|platform/sys/Clock\.h)[>"]|Sys_QueryPerformance|steady_clock|system_clock|clock_gettime' \
           -- 'world/*.cpp' 'world/*.h')

# The engine never names the game: no type that a game folder's header
# declares at its top level appears in an engine source, a forward
# declaration or a comment included (the interpreter's owner, for one, is an
# opaque context the game supplies). A name the engine defines itself (a
# game header's forward declaration of an engine type) is the engine's.
engine_paths=('platform/*.h' 'platform/*.cpp' 'core/*.h' 'core/*.cpp' 'e3d/*.h' 'e3d/*.cpp'
              'console/*.h' 'console/*.cpp' 'nwe/*.h' 'nwe/*.cpp')
type_names() {  # type_names <top-level only: 1|0> <pathspec...>: the types defined there
  local anchor='^\s*'
  [ "$1" = 1 ] && anchor='^'
  shift
  git grep --untracked -h -E "$anchor(class|struct|enum( class)?) +[A-Z][A-Za-z0-9_]+( final)? *([:{].*)?$" -- "$@" |
    sed -E 's/^\s*(class|struct|enum( class)?) +([A-Za-z0-9_]+).*/\3/' | sort -u
}
game_types=$(comm -23 <(type_names 1 'world/*.h' 'netgame/*.h' 'ai/*.h' 'ui/*.h' 'app/*.h' 'commands/*.h') \
                      <(type_names 0 "${engine_paths[@]}"))
if [ -n "$game_types" ]; then
  while IFS=: read -r file line name; do
    echo "engine: $file:$line names $name, a type of the game (the engine never names the game)"
    status=1
  done < <(git grep --untracked -n -o -w -E "$(paste -sd'|' <<< "$game_types")" -- "${engine_paths[@]}")
fi

# Console variables are bound by their owners. The storage argument of a
# variable's row (SCommandRow::Int, Float, Bool, String, CharArray,
# Variable) in the engine and the game is the registering object's member,
# a file's static or constant, or a pointer the owner hands out (a call);
# the address of a field reached through another object is refused.
while IFS= read -r hit; do
  echo "console: $hit (let the owner register the variable, or hand out its address)"
  status=1
done < <(git ls-files --cached --others --exclude-standard -- "${engine_paths[@]}" \
           'world/*' 'netgame/*' 'ai/*' 'ui/*' 'app/*' 'commands/*' | grep -E '\.(cpp|h)$' |
         xargs -r perl -0777 -ne '
           my $own = qr/&(?:m_|s_|k)\w*(?:\[[^\]]*\])*(?:\.\w+(?:\[[^\]]*\])*)*/;
           while (/SCommandRow::(Int|Float|Bool|String|CharArray|Variable)\(/g) {
             my ($kind, $at, $pos) = ($1, $-[0], $+[0]);
             # The arguments at the top level of the call.
             my ($depth, @args, $arg) = (0);
             for my $c (split //, substr($_, $pos, 600)) {
               last if $c eq ")" && $depth == 0;
               if ($c eq "," && $depth == 0) { push @args, $arg; $arg = ""; next; }
               $depth++ if $c eq "(";
               $depth-- if $c eq ")";
               $arg .= $c;
             }
             push @args, $arg;
             (my $storage = $args[$kind eq "Variable" ? 2 : 1] // "") =~ s/\s+//g;
             (my $name = $args[0]) =~ s/^\s+|\s+$//g;
             # The own member, static or constant; a pointer handed out.
             next if $storage =~ /^(?:$own|const_cast<[^>]*>\($own\))$/ || $storage !~ /&/;
             my $line = 1 + (substr($_, 0, $at) =~ tr/\n//);
             print "$ARGV:$line binds $name to $storage, a field of another object\n";
           }')

# Links. Each library's dependencies are declared once, as
# set(TESSARAK_DEPS_<library> <libraries below it>) in cmake/Tessarak.cmake;
# a target_link_libraries of one library on another anywhere else is checked
# the same way.
links=$(
  { grep -hE '^\s*set\(TESSARAK_DEPS_[a-z0-9_]+' cmake/*.cmake 2>/dev/null |
      sed -E 's/^\s*set\(TESSARAK_DEPS_([a-z0-9_]+)\s*([^)]*)\).*/\1 \2/'
    git ls-files --cached --others --exclude-standard -- 'CMakeLists.txt' '*/CMakeLists.txt' '*.cmake' |
      xargs -r grep -hE '^\s*target_link_libraries\(\s*[a-z0-9_]+\s' |
      sed -E 's/^\s*target_link_libraries\(\s*([a-z0-9_]+)\s+([^)]*)\).*/\1 \2/'
  } | awk '{ out = $1; for (i = 2; i <= NF; ++i) if ($i !~ /^(PUBLIC|PRIVATE|INTERFACE)$/) out = out " " $i; print out }'
)
while read -r lib deps; do
  [ -n "${allowed[$lib]+x}" ] || continue
  declare -A seen=()
  for dep in $deps; do
    [ -n "${allowed[$dep]+x}" ] || continue
    if [ "$dep" = "$lib" ] || ! may_use "$lib" "$dep"; then
      echo "link: $lib links $dep ($lib may not reach $dep)"
      status=1
    elif [ -n "${seen[$dep]+x}" ]; then
      echo "link: $lib links $dep twice"
      status=1
    fi
    seen[$dep]=1
  done
  unset seen
done <<< "$links"
if git grep --untracked -q -E 'LINK_INTERFACE_MULTIPLICITY' -- 'CMakeLists.txt' '*/CMakeLists.txt' '*.cmake'; then
  echo "link: LINK_INTERFACE_MULTIPLICITY lets the linker resolve cycles between libraries; declare the layers instead"
  status=1
fi
# Format.
if command -v clang-format >/dev/null; then
  unformatted=$(git ls-files --cached --others --exclude-standard -- '*.cpp' '*.h' |
                xargs -r clang-format --dry-run 2>&1 | grep -oE '^[^:]+:[0-9]+:[0-9]+: warning' | cut -d: -f1 | sort -u)
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
