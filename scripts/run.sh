#!/usr/bin/env bash
# Builds Trellon and starts it. Settings and log are kept in ./run (Trellon.ini, Trellon.log).
# Without a display the program runs headless (Qt's offscreen platform); stop it with Ctrl+C.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset dev >/dev/null
cmake --build --preset dev
mkdir -p run
cd run
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
fi
exec ../build/dev/src/app/trellon "$@"
