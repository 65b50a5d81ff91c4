#!/usr/bin/env bash
# Installs everything Dravik needs to build, test and run, from Debian's packages.
# Idempotent: when every package is there it says nothing and installs nothing.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  libgtest-dev libgmock-dev
  qt6-base-dev qt6-svg-dev libqt6svg6 qt6-qpa-plugins
  fonts-liberation2 fonts-dejavu-core
  xvfb xauth xdotool x11-apps  # the window's tests on a real X display
  dpkg-dev file desktop-file-utils appstream man-db  # the Debian package and its checks
  lintian debootstrap  # the package checked by lintian and installed on a bare Debian root
  libasound2-dev alsa-utils
  libmp3lame-dev libmp3lame0 libmpg123-dev
  libflac-dev libopusenc-dev libopusfile-dev
  libavformat-dev libavcodec-dev libswresample-dev libavutil-dev
  lame mpg123 sox libsox-fmt-mp3 ffmpeg  # reference tools for benchmarks and for inspecting recordings
  flac opus-tools  # FLAC and Opus read back by tools not ours in the tests, and the benchmark's references
  valgrind bc
  clang libclang-rt-14-dev  # the fuzz targets (fuzz/fuzz.sh)
  pulseaudio pulseaudio-utils libasound2-plugins  # the tests on a private sound server
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
