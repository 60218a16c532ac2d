#!/usr/bin/env bash
# Soak test: scripts/soak.sh [seconds, default 600] [seed, default 1]. Runs Trellon against
# vx710-sim with faults, hostile key-server clients and suspend/resume cycles from a mock logind,
# then prints the report (see scripts/soak/soak.py); exits non-zero when a check failed.
# SOAK_PRESET names the build to use (default dev).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
seed=${2:-1}
preset=${SOAK_PRESET:-dev}
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target trellon vx710-sim
# The probe that times the main thread's returns to its event loop, preloaded into Trellon.
probe=build/$preset/soak/soak_probe.so
mkdir -p "$(dirname "$probe")"
if [ ! -f "$probe" ] || [ scripts/soak/soak_probe.c -nt "$probe" ]; then
  cc -shared -fPIC -O2 -Wall -Wextra -Werror -o "$probe" scripts/soak/soak_probe.c -ldl
fi
# The Debian Python, which has python3-dbusmock (a python3 earlier on PATH may not).
python=/usr/bin/python3
[ -x "$python" ] || python=python3
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  export XDG_RUNTIME_DIR="/tmp/runtime-$(id -u)"
  mkdir -p -m 700 "$XDG_RUNTIME_DIR"
fi
exec "$python" scripts/soak/soak.py --build "$PWD/build/$preset" --probe "$PWD/$probe" \
  --seconds "$seconds" --seed "$seed" ${SOAK_KEEP:+--keep}
