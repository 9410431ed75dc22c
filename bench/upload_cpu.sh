#!/usr/bin/env bash
# CPU time of a throttled upload: our FTPputFILE against `curl -T` of the same file to the same server.
# Usage: bench/upload_cpu.sh [SIZE_KB] [RATE_BYTES_PER_S]   (builds build-bench/ with -DVELTORA_BENCH=ON)
set -euo pipefail
cd "$(dirname "$0")/.."
size_kb=${1:-2048}
rate=${2:-500000}
cmake -S . -B build-bench -DVELTORA_BENCH=ON -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-bench -j2 --target bench_upload >/dev/null
work=$(mktemp -d)
server_pid=
cleanup() { [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
mkdir -p "$work/root/public_html"
head -c $((size_kb * 1024)) /dev/urandom >"$work/page.html\$\$0"
/usr/bin/python3 -u tests/servers/ftp_server.py --root "$work/root" --rate "$rate" >"$work/server.out" 2>&1 &
server_pid=$!
for _ in $(seq 50); do grep -q '^PORT' "$work/server.out" && break; sleep 0.1; done
port=$(awk '/^PORT/{print $2}' "$work/server.out")
url="ftp://127.0.0.1:$port"
echo "file ${size_kb} KiB, server reads ${rate} B/s"
echo -n "FTPputFILE: "
(cd "$work" && "$OLDPWD/build-bench/bench/bench_upload" "$url" veltora secret page.html public_html/ ours.bin)
cmp -s "$work/page.html\$\$0" "$work/root/public_html/ours.bin" && echo "  remote file identical"
TIMEFORMAT='wall %R s cpu user %U s + sys %S s'
echo -n "curl -T:    "
{ time curl -sS -T "$work/page.html\$\$0" -u veltora:secret "$url/public_html/curl.bin" ; } 2>&1
cmp -s "$work/page.html\$\$0" "$work/root/public_html/curl.bin" && echo "  remote file identical"
