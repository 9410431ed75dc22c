#!/usr/bin/env bash
# Time of nine uploads (slots 0 to 8, as one run does) stored under a temporary name and renamed into place,
# against nine stored directly under their names, on a loopback FTP server. Rounds alternate the two.
# Usage: bench/upload_replacement.sh [SIZE_KB] [ROUNDS]   (builds build-bench/ with -DVELTORA_BENCH=ON)
set -euo pipefail
cd "$(dirname "$0")/.."
size_kb=${1:-20}
rounds=${2:-5}
cmake -S . -B build-bench -DVELTORA_BENCH=ON -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-bench -j2 --target bench_upload >/dev/null
work=$(mktemp -d)
server_pid=
cleanup() { [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
mkdir -p "$work/root/public_html"
for n in 0 1 2 3 4 5 6 7 8; do head -c $((size_kb * 1024)) /dev/urandom >"$work/page.html\$\$$n"; done
/usr/bin/python3 -u tests/servers/ftp_server.py --root "$work/root" >"$work/server.out" 2>&1 &
server_pid=$!
for _ in $(seq 50); do grep -q '^PORT' "$work/server.out" && break; sleep 0.1; done
port=$(awk '/^PORT/{print $2}' "$work/server.out")
bench() {
    (cd "$work" && VELTORA_BENCH_PASSWORD=secret "$OLDPWD/build-bench/bench/bench_upload" --slots 9 "$@" \
        "ftp://127.0.0.1:$port" veltora page.html public_html/ page.html)
}
atomic=()
direct=()
for _ in $(seq "$rounds"); do
    atomic+=("$(bench | awk '{print $4}')")
    direct+=("$(bench --direct | awk '{print $4}')")
done
# libcurl 7.88 now and then waits out its one-second tick before a data connection, in either mode: the
# fastest round shows the cost of the mode itself, the median what a run meets.
median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print a[int((NR + 1) / 2)]}'; }
fastest() { printf '%s\n' "$@" | sort -g | head -1; }
ratio() { awk -v a="$1" -v d="$2" 'BEGIN {printf "%.2f", a / d}'; }
a=$(median "${atomic[@]}")
d=$(median "${direct[@]}")
af=$(fastest "${atomic[@]}")
df=$(fastest "${direct[@]}")
echo "nine uploads of ${size_kb} KiB, $rounds rounds: renamed into place median ${a} s fastest ${af} s;" \
    "direct median ${d} s fastest ${df} s; ratio median $(ratio "$a" "$d") fastest $(ratio "$af" "$df")"
