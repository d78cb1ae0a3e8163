#!/usr/bin/env bash
# Installs what is missing, builds and starts the window program. Without a
# display it starts under a virtual X server (Xvfb) and says so.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j "$(nproc)"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    exec "$build/bin/gui-vonk"
fi
echo "No display found: starting gui-vonk under Xvfb (virtual screen :99, nothing visible here)."
echo "Take a screenshot with:  DISPLAY=:99 import -window root shot.png   (package imagemagick)"
exec xvfb-run -n 99 -s "-screen 0 1280x1024x24" "$build/bin/gui-vonk"
