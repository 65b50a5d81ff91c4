#!/usr/bin/env bash
# Sets everything up and runs Dravik's main job: installs the dependencies, builds into build/
# and starts the window on a desktop, or without one the headless recorder's short demonstration
# on the virtual sound card.
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build

# On a desktop: the window. On Wayland it runs through XWayland, where a program may place,
# move and keep its own window on top, as the window does.
if [ -x build/bin/dravik ] && { [ -n "${DISPLAY-}" ] || [ -n "${WAYLAND_DISPLAY-}" ]; }; then
  if [ -n "${WAYLAND_DISPLAY-}" ] && [ -n "${DISPLAY-}" ]; then
    export QT_QPA_PLATFORM="${QT_QPA_PLATFORM-xcb}"
  fi
  if [ -z "${DRAVIK_AUDIO+set}" ] && ! grep -qs capture /proc/asound/pcm; then
    echo "This system has no sound capture device: Dravik records from its virtual sound card (a 440 Hz tone)."
    export DRAVIK_AUDIO=virtual:in=tone
  fi
  exec build/bin/dravik "$@"
fi

# No desktop: the headless demonstration.
export DRAVIK_AUDIO="${DRAVIK_AUDIO-virtual:in=bursts}"
exec build/bin/dravik-cli record --seconds 10 --vox on --auto-save time "$@"
