#!/usr/bin/env bash
# Builds Trellon and runs every test: scripts/test.sh [dev|ci|asan]. The default is dev, or ci
# (warnings are errors) when CI=true. Except in the sanitizer build (whose fuzz targets are a build
# of their own), the fuzz targets run 30 s each (FUZZ_SECONDS) and the soak 60 s (SOAK_SECONDS)
# before the test suite; 0 leaves either out.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
default_preset=dev
[ "${CI:-}" = "true" ] && default_preset=ci
preset=${1:-$default_preset}
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
if [ "$preset" != asan ]; then
  fuzz_seconds=${FUZZ_SECONDS:-30}
  soak_seconds=${SOAK_SECONDS:-60}
  [ "$fuzz_seconds" = 0 ] || scripts/fuzz.sh "$fuzz_seconds"
  [ "$soak_seconds" = 0 ] || SOAK_PRESET="$preset" scripts/soak.sh "$soak_seconds"
fi
# Tests that need X11 find the private Xvfb server; the others run with the offscreen platform.
exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" ctest --preset "$preset" -j2
