#!/usr/bin/env bash
# Peak resident memory (VmHWM) of `build/veltora --headless` over a whole life: start, the first periodic
# run (30 s after the start) with nine on-check slots uploaded to a loopback FTP server, and the exit-time
# run on SIGTERM. No display is needed. Usage: bench/headless_memory.sh
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
binary="$root/build/veltora"
scratch=$(mktemp -d)
pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; wait 2>/dev/null; rm -rf "$scratch"' EXIT
source "$root/bench/loopback_servers.sh"
start_servers "$scratch"
write_settings "$scratch/work" "$ftp_port" "$echo_url" 1 1

cd "$scratch/work"
env -u DISPLAY -u WAYLAND_DISPLAY "$binary" --dir . --headless 2>headless.err &
pid=$!
pids+=("$pid")
peak=0
sample() { local v; v=$(awk '/^VmHWM/ {print $2}' "/proc/$pid/status" 2>/dev/null || true); [ -n "$v" ] && ((v > peak)) && peak=$v; return 0; }
until grep -q 'ファイル転送(IPアドレス確認時)","9"' Veltora.log 2>/dev/null; do sample; sleep 0.1; done
echo "after start and the first periodic run (nine uploads): peak ${peak} kB"
kill -TERM "$pid"
while kill -0 "$pid" 2>/dev/null; do sample; sleep 0.02; done
wait "$pid" && status=0 || status=$?
echo "after the exit-time run: peak ${peak} kB (exit status ${status})"
grep -c 'ファイル転送' Veltora.log | sed 's/^/uploads logged: /'
