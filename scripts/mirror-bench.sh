#!/usr/bin/env bash
# The display mirror's frame copy (trellon-mirror-bench) and, for comparison, ffmpeg's x11grab
# capturing the same rectangles of the same screen and scaling them to 800 × 600 (neighbor and
# area), in one run. Without DISPLAY it starts a private X server large enough for 4K.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 3840x2160x24 -nolisten tcp" "$0" "$@"
fi

cd "$root"
cmake --preset dev >/dev/null
nice cmake --build --preset dev --target trellon-mirror-bench >/dev/null
./build/dev/bench/trellon-mirror-bench

frames=100
screen=$(xdpyinfo | awk '/dimensions:/ {print $2}')
for size in 1920x1080 3840x2160; do
  if [ "${size%x*}" -gt "${screen%x*}" ] || [ "${size#*x}" -gt "${screen#*x}" ]; then
    echo "ffmpeg source=$size skipped: the screen is $screen"
    continue
  fi
  for filter in neighbor area; do
    # "bench: utime=1.234s stime=0.123s rtime=2.345s" for the whole run.
    line=$(ffmpeg -hide_banner -nostats -benchmark -f x11grab -draw_mouse 1 -framerate 1000 \
             -video_size "$size" -i "$DISPLAY+0,0" -frames:v "$frames" \
             -vf "scale=800:600:flags=$filter" -f null - 2>&1 | grep 'bench: utime' || true)
    if [ -z "$line" ]; then
      echo "ffmpeg source=$size filter=$filter failed"
      continue
    fi
    awk -v size="$size" -v filter="$filter" -v frames="$frames" '{
      for (i = 1; i <= NF; i++) { split($i, kv, "="); sub("s$", "", kv[2]); v[kv[1]] = kv[2] }
      printf "ffmpeg source=%s target=800x600 filter=%s frame_ms=%.2f cpu_ms=%.2f\n", size, filter,
             v["rtime"] * 1000 / frames, (v["utime"] + v["stime"]) * 1000 / frames
    }' <<<"${line#*bench: }"
  done
done
