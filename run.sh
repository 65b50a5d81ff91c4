#!/usr/bin/env bash
# Sets everything up and runs Dravik's main job: installs the dependencies, builds into build/
# and starts the headless recorder on the virtual sound card with a short demonstration.
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build

if [ ! -x build/bin/dravik-cli ]; then
  echo "Dravik is built, but it is not yet runnable: the headless recorder (dravik-cli) has not landed."
  exit 0
fi
export DRAVIK_AUDIO="${DRAVIK_AUDIO-virtual:in=bursts}"
exec build/bin/dravik-cli record --seconds 10 --vox on --auto-save time "$@"
