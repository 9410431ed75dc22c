#!/usr/bin/env bash
# Launch-to-window-shown time and resident memory of build/veltora on an X display.
# Usage: DISPLAY=:99 bench/window_start.sh [runs]   (a virtual one: Xvfb :99 -screen 0 1280x800x24 &)
# Needs xdotool (scripts/install-deps.sh --dev). Runs in a scratch directory, so no settings file is read or written.
set -euo pipefail
runs=${1:-5}
binary="$(cd "$(dirname "$0")/.." && pwd)/build/veltora"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
for i in $(seq "$runs"); do
    start=$(date +%s%N)
    "$binary" --dir . >/dev/null 2>&1 &
    pid=$!
    # Poll often: xdotool's own --sync waits half a second between looks.
    until xdotool search --onlyvisible --pid "$pid" --name ' Veltora' >/dev/null 2>&1; do sleep 0.01; done
    shown=$(date +%s%N)
    sleep 1
    rss=$(awk '/^VmRSS/ {print $2, $3}' "/proc/$pid/status")
    kill "$pid"
    wait "$pid" 2>/dev/null || true
    echo "run $i: shown after $(((shown - start) / 1000000)) ms, VmRSS $rss"
done
