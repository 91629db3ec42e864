#!/usr/bin/env bash
# ./tessarak.sh play   installs what is needed, builds and starts the game
#                      (through the launcher: ./tessarak.sh play D starts the debug build)
# ./tessarak.sh test   installs what is needed, builds and runs every test
# ./tessarak.sh build  builds only (into ./build)
set -euo pipefail
cd "$(dirname "$0")"
BUILD=${TESSARAK_BUILD_DIR:-build}
JOBS=$(nproc)

# build [target...]: everything, or only the targets named.
build() {
  bash tools/install-deps.sh
  cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$BUILD" -j "$JOBS" ${1:+--target "$@"}
}

case "${1:-play}" in
  build) build ;;
  test)
    build
    # Drawing, windows and sound are tested for real: under a virtual X server
    # with Mesa's software renderer; OpenAL Soft mixes into its null device
    # unless a sound test sets up its wave-file writer.
    export LIBGL_ALWAYS_SOFTWARE=1 ALSOFT_DRIVERS=null
    cd "$BUILD"
    xvfb-run -a -s "-screen 0 1280x1024x24 +extension GLX" \
      ctest --output-on-failure -j "$JOBS" --timeout 600
    ;;
  play)
    # Only what the game needs: the programs and the demo installation (the
    # debug build as well when it is asked for).
    case "${2:-}" in
      D*|d*) build game Tessarak_debug ;;
      *) build game ;;
    esac
    # The launcher starts the game from the installation's root and returns;
    # its arguments pick the build and the language (README: Playing).
    cd "$BUILD/install" && exec ./tessarak-launcher "${@:2}"
    ;;
  *) echo "usage: $0 play|test|build" >&2; exit 2 ;;
esac
