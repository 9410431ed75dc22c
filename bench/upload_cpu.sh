#!/usr/bin/env bash
# CPU time of a throttled upload: our FTPputFILE against curl's upload of the same file to the same server.
# Usage: bench/upload_cpu.sh [SIZE_KB] [RATE_BYTES_PER_S] [plain|tls]   (builds build-bench/ with -DVELTORA_BENCH=ON)
#   tls: ftpes:// to a server with explicit TLS and a certificate made here, against `curl --ssl-reqd -T`
# Passwords travel in the environment and a netrc file, never on a command line.
set -euo pipefail
cd "$(dirname "$0")/.."
size_kb=${1:-2048}
rate=${2:-500000}
transport=${3:-plain}
cmake -S . -B build-bench -DVELTORA_BENCH=ON -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-bench -j2 --target bench_upload >/dev/null
work=$(mktemp -d)
server_pid=
cleanup() { [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
mkdir -p "$work/root/public_html"
head -c $((size_kb * 1024)) /dev/urandom >"$work/page.html\$\$0"
server_args=(--root "$work/root" --rate "$rate")
scheme=ftp
curl_tls=()
if [ "$transport" = tls ]; then
    (cd "$work" &&
        openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout server.key \
            -out server.pem -days 2 -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 2>/dev/null)
    server_args+=(--tls explicit --cert "$work/server.pem" --key "$work/server.key")
    scheme=ftpes
    export SSL_CERT_FILE="$work/server.pem"
    curl_tls=(--ssl-reqd --cacert "$work/server.pem")
fi
/usr/bin/python3 -u tests/servers/ftp_server.py "${server_args[@]}" >"$work/server.out" 2>&1 &
server_pid=$!
for _ in $(seq 50); do grep -q '^PORT' "$work/server.out" && break; sleep 0.1; done
port=$(awk '/^PORT/{print $2}' "$work/server.out")
printf 'machine 127.0.0.1 login veltora password secret\n' >"$work/netrc"
echo "file ${size_kb} KiB, server reads ${rate} B/s, $scheme://"
echo -n "FTPputFILE: "
(cd "$work" && VELTORA_BENCH_PASSWORD=secret "$OLDPWD/build-bench/bench/bench_upload" \
    "$scheme://127.0.0.1:$port" veltora page.html public_html/ ours.bin)
cmp -s "$work/page.html\$\$0" "$work/root/public_html/ours.bin" && echo "  remote file identical"
TIMEFORMAT='wall %R s cpu user %U s + sys %S s'
echo -n "curl ${curl_tls[*]:0:1} -T: "
{ time curl -sS "${curl_tls[@]}" --netrc-file "$work/netrc" -T "$work/page.html\$\$0" \
    "ftp://127.0.0.1:$port/public_html/curl.bin" ; } 2>&1
cmp -s "$work/page.html\$\$0" "$work/root/public_html/curl.bin" && echo "  remote file identical"
