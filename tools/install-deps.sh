#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Tessarak need.
set -euo pipefail
PKGS=(
  cmake ninja-build g++ clang clang-format libclang-rt-14-dev ccache pkg-config git
  libgtest-dev libgmock-dev libbenchmark-dev zlib1g-dev
  libsdl2-dev libgl1-mesa-dev libgl1-mesa-dri libegl-dev
  xvfb xauth x11-utils xdotool imagemagick
  libturbojpeg0-dev libjpeg62-turbo-dev libjpeg-turbo-progs libfreetype-dev libfontconfig-dev fonts-liberation
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev ffmpeg
  libopenal-dev libasound2-dev libenet-dev iproute2
  libtomlplusplus-dev libtinyobjloader-dev
)
missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
