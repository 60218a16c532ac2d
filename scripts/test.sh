#!/usr/bin/env bash
# Builds Trellon and runs every test: scripts/test.sh [dev|ci|asan]. The default is dev, or ci
# (warnings are errors) when CI=true.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
default_preset=dev
[ "${CI:-}" = "true" ] && default_preset=ci
preset=${1:-$default_preset}
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
# Tests that need X11 find the private Xvfb server; the others run with the offscreen platform.
exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" ctest --preset "$preset" -j2
