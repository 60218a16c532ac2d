#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Trellon need.
# Quick when everything is present: it only calls apt-get when a package is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang-format
  clang libclang-rt-14-dev
  qt6-base-dev qt6-base-dev-tools libqt6dbus6 libqt6network6
  libgtest-dev libgmock-dev
  fonts-liberation fontconfig
  xvfb xauth x11-utils x11-xserver-utils xserver-xorg-core xserver-xorg-video-dummy
  libx11-dev libxrandr-dev libxtst-dev libxfixes-dev libxext-dev libxrender-dev
  ffmpeg
  libdw-dev libevdev-dev libsensors-dev lm-sensors
  dbus dbus-x11 python3 python3-dbusmock
  openbox
  dpkg-dev file lintian desktop-file-utils man-db
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup: missing packages: ${missing[*]} (run as root to install them)" >&2
    exit 1
  fi
  echo "setup: installing ${missing[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  # Another installation may hold the package manager's lock for a while: wait for it.
  apt_wait=(-o DPkg::Lock::Timeout=900)
  for attempt in 1 2 3; do
    if apt-get "${apt_wait[@]}" update -qq &&
      apt-get "${apt_wait[@]}" install -y -qq --no-install-recommends "${missing[@]}" >/dev/null; then
      break
    fi
    [ "$attempt" -lt 3 ] || exit 1
    echo "setup: apt-get failed, trying again in 30 s" >&2
    sleep 30
  done
fi
