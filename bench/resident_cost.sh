#!/usr/bin/env bash
# Resident cost of build/veltora with the timer armed: CPU time and resident memory while it waits.
# Usage: DISPLAY=:99 bench/resident_cost.sh   (a virtual display: Xvfb :99 -screen 0 1280x800x24 &)
#
# Settings: AUTOEXEC 1, TIMERSET 600, LOG 1, the echo page on a refused loopback port, no slot enabled.
# The first automatic run comes 5 ticks (30 s) after the start, the next one 600 minutes later, so two
# windows hold no run: 0-25 s (before the first run) and 35-95 s (after it). The log is printed at the end
# to show where the runs fell.
set -euo pipefail
binary="$(cd "$(dirname "$0")/.." && pwd)/build/veltora"
scratch=$(mktemp -d)
pid=
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid"; rm -rf "$scratch"' EXIT
cd "$scratch"
port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
printf '"GLOBALURL",0,"http://127.0.0.1:%s/"\r\n"USEROUTE",0,0\r\n"FTPSERVERNAME",0,"ftp://127.0.0.1:%s"\r\n' "$port" "$port" >Veltora_050.ini
printf '"FTPUSERID",0,""\r\n"FTPUSERPASS",0,""\r\n"TASKTRAY",0,0\r\n"AUTOEXEC",0,1\r\n"TIMERSET",0,"600"\r\n"LOG",0,1\r\n' >>Veltora_050.ini

hz=$(getconf CLK_TCK)
cpu() { awk -v hz="$hz" '{printf "%.3f", ($14 + $15) / hz}' "/proc/$pid/stat"; }
mem() { awk '/^VmRSS|^VmHWM/ {printf "%s %s %s  ", $1, $2, $3}' "/proc/$pid/status"; }
at() {
    local d=$(($1 - ($(date +%s) - start)))
    if ((d > 0)); then sleep "$d"; fi
}

"$binary" --dir . >/dev/null 2>&1 &
pid=$!
start=$(date +%s)
until grep -q START Veltora.log 2>/dev/null; do sleep 0.05; done
c0=$(cpu)
echo "started: CPU ${c0} s; $(mem)"
at 25
c25=$(cpu)
echo "0-25 s, timer armed, no run:   CPU $(awk -v a="$c0" -v b="$c25" 'BEGIN {printf "%.3f", b - a}') s; $(mem)"
at 35
c35=$(cpu)
echo "25-35 s, first automatic run:  CPU $(awk -v a="$c25" -v b="$c35" 'BEGIN {printf "%.3f", b - a}') s"
at 95
c95=$(cpu)
echo "35-95 s, timer armed, no run:  CPU $(awk -v a="$c35" -v b="$c95" 'BEGIN {printf "%.3f", b - a}') s per minute; $(mem)"
kill -TERM "$pid"
wait "$pid" || true
echo "log:"
cat Veltora.log
