#!/usr/bin/env bash
# One whole run (EXEC_EVENT) with nine enabled slots against the loopback echo and FTP servers: its wall time
# against nine `curl -T` uploads of the same work files to the same server, and the longest time the event
# loop went without handling an event during the run.
# Usage: bench/run_cycle.sh [SIZE_KB] [RUNS]   (builds build-bench/ with -DVELTORA_BENCH=ON)
set -euo pipefail
cd "$(dirname "$0")/.."
size_kb=${1:-4}
runs=${2:-5}
cmake -S . -B build-bench -DVELTORA_BENCH=ON -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-bench -j2 --target bench_run >/dev/null
bench=$PWD/build-bench/bench/bench_run
work=$(mktemp -d)
pids=()
cleanup() { for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done; rm -rf "$work"; }
trap cleanup EXIT
mkdir -p "$work/root/public_html" "$work/local"

port_of() { for _ in $(seq 100); do grep -q '^PORT' "$1" && break; sleep 0.1; done; awk '/^PORT/{print $2}' "$1"; }
/usr/bin/python3 -u tests/servers/ftp_server.py --root "$work/root" >"$work/ftp.out" 2>&1 &
pids+=($!)
/usr/bin/python3 -u tests/servers/http_echo_server.py >"$work/http.out" 2>&1 &
pids+=($!)
ftp="ftp://127.0.0.1:$(port_of "$work/ftp.out")"
printf 'YOUR IP IS 192.0.2.7<BR>\r\n' >"$work/answer.html"
echo_url="http://127.0.0.1:$(port_of "$work/http.out")/file?path=$work/answer.html"

echo "nine slots, templates of ${size_kb} KiB, ${runs} runs"
(cd "$work/local" && "$bench" "$echo_url" "$ftp" veltora secret public_html "$size_kb" "$runs")
for n in $(seq 9); do
    cmp -s "$work/local/page$n.html\$\$$((n - 1))" "$work/root/public_html/ours$n.html" ||
        { echo "ours$n.html differs from its work file"; exit 1; }
done
echo "remote files identical to the work files"

# The same nine work files, one curl process and connection each, as the run makes one connection each.
curl_once() {
    for n in $(seq 9); do
        curl -sS -T "$work/local/page$n.html\$\$$((n - 1))" -u veltora:secret "$ftp/public_html/curl$n.html"
    done
}
for r in $(seq "$runs"); do
    start=$(date +%s%N)
    curl_once
    end=$(date +%s%N)
    echo "nine curl -T: $(((end - start) / 1000)) us"
done
for n in $(seq 9); do
    cmp -s "$work/local/page$n.html\$\$$((n - 1))" "$work/root/public_html/curl$n.html" || { echo "curl$n differs"; exit 1; }
done
