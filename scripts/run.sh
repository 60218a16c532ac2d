#!/usr/bin/env bash
# Builds Trellon and starts it. Settings and log are kept in ./run (Trellon.ini, Trellon.log).
# Without a display the program runs headless (Qt's offscreen platform); stop it with Ctrl+C.
#
# With TRELLON_COM3 set (a real controller, e.g. TRELLON_COM3=/dev/ttyUSB0) Trellon talks to that
# device. Otherwise the virtual controller vx710-sim is started on a pseudo-terminal (./run/vx710)
# and stopped again when Trellon ends; its lines are shown prefixed with "[vx710] ", and what is
# typed into the terminal goes to it (a key name such as "ok" presses that key on the remote).
# VX710_SIM_ARGS replaces the simulator's extra options (default: --quiet-ticks).
#
# When lm-sensors finds temperature sensors, trellon-sensors runs beside Trellon and publishes
# them into the SpeedFan block (its lines prefixed with "[sensors] "); TRELLON_SENSORS=0 leaves it
# out.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset dev >/dev/null
cmake --build --preset dev --target trellon vx710-sim trellon-sensors
mkdir -p run
cd run
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
fi
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  # Qt wants one and complains on every start without it.
  export XDG_RUNTIME_DIR="/tmp/runtime-$(id -u)"
  mkdir -p -m 700 "$XDG_RUNTIME_DIR"
fi

trellon=../build/dev/src/app/trellon
sensors=../build/dev/tools/trellon-sensors/trellon-sensors
sensors_pid=
stop_sensors() {
  [ -n "$sensors_pid" ] || return 0
  # It sets its slots to "no reading" as it ends.
  kill -TERM "$sensors_pid" 2>/dev/null || true
  wait "$sensors_pid" 2>/dev/null || true
  sensors_pid=
}
if [ "${TRELLON_SENSORS:-1}" != 0 ] && "$sensors" --list >/dev/null 2>&1; then
  "$sensors" 2> >(trap '' INT TERM; exec sed -u 's/^/[sensors] /' >&2) &
  sensors_pid=$!
  echo "run: trellon-sensors publishes the machine's temperatures (the slots:" \
    "$sensors --list)" >&2
fi

if [ -n "${TRELLON_COM3:-}" ]; then
  if [ -z "$sensors_pid" ]; then
    exec "$trellon" "$@"
  fi
  trap stop_sensors EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM
  "$trellon" "$@"
  exit
fi

simulator=../build/dev/tools/vx710-sim/vx710-sim
link="$PWD/vx710"
read -r -a sim_args <<<"${VX710_SIM_ARGS---quiet-ticks}"
sim_pid=
stop_simulator() {
  [ -n "$sim_pid" ] || return 0
  kill -TERM "$sim_pid" 2>/dev/null || true
  wait "$sim_pid" 2>/dev/null || true
  sim_pid=
  # Let the prefixing filter print the simulator's last lines.
  wait 2>/dev/null || true
}
trap 'stop_simulator; stop_sensors' EXIT
# Trellon closes in order on these; the script goes on once it has ended.
trap 'exit 130' INT
trap 'exit 143' TERM

[ -L "$link" ] && rm -f "$link"
# Its own session, so that Ctrl+C (or a stop signal for this script's process group) reaches
# Trellon only: the simulator must still be there to take the detach frames.
exec 3<&0
setsid "$simulator" --link "$link" --stay "${sim_args[@]}" <&3 \
  > >(trap '' INT TERM; exec sed -u 's/^/[vx710] /') 2>&1 &
sim_pid=$!
exec 3<&-
for _ in $(seq 50); do
  [ -L "$link" ] && break
  kill -0 "$sim_pid" 2>/dev/null || { echo "run: vx710-sim did not start" >&2; exit 1; }
  sleep 0.1
done

echo "run: Trellon on the virtual controller at $link (type a key name such as ok + Enter to" \
  "press it; Ctrl+C stops)" >&2
TRELLON_COM3="$link" "$trellon" "$@"
