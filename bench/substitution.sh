#!/usr/bin/env bash
# Substituting a 100 MB template: our CHIKAN against sed doing the same replacement on the same file.
# Usage: bench/substitution.sh [SIZE_MB]   (builds build-bench/ with -DVELTORA_BENCH=ON)
set -euo pipefail
cd "$(dirname "$0")/.."
size_mb=${1:-100}
cmake -S . -B build-bench -DVELTORA_BENCH=ON -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-bench -j2 --target bench_substitution >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# HTML-like CR LF lines, a marker in every fourth line, some Japanese text in UTF-8.
/usr/bin/python3 - "$work/page.html" "$size_mb" <<'PY'
import sys
block = b"".join([
    b"<tr><td>\xe8\xa8\xad\xe5\xae\x9a</td><td>http://HOSTNAME:8080/index.html</td></tr>\r\n",
    b"<p>Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod tempor.</p>\r\n",
    b"<div class=\"status\">\xe8\x87\xaa\xe5\xae\x85\xe3\x82\xb5\xe3\x83\xbc\xe3\x83\x90</div>\r\n",
    b"<a href=\"ftp://HOSTNAME/\">HOSTNAME</a> last seen NOWDTTM\r\n",
]) * 1024
target = int(sys.argv[2]) * 1024 * 1024
with open(sys.argv[1], "wb") as f:
    written = 0
    while written < target:
        f.write(block)
        written += len(block)
PY
ls -l "$work/page.html" | awk '{printf "template: %.1f MB\n", $5 / 1048576}'
cat "$work/page.html" >/dev/null # warm the page cache for both
best() { sort -n | head -1; }
ours_runs=$(for i in 1 2 3; do build-bench/bench/bench_substitution "$work/page.html" UTF-8; done | sort -n)
ours=$(echo "$ours_runs" | head -1 | cut -d' ' -f1)
ours_mem=$(echo "$ours_runs" | head -1 | cut -d' ' -f2)
sjis=$(for i in 1 2 3; do build-bench/bench/bench_substitution "$work/page.html" windows-31j; done | sort -n | head -1 | cut -d' ' -f1)
sed_time=$(for i in 1 2 3; do
    s=$(date +%s.%N); LC_ALL=C sed 's/HOSTNAME/203.0.113.9/g' "$work/page.html" >"$work/sed.out"; e=$(date +%s.%N)
    awk -v a="$s" -v b="$e" 'BEGIN { print b - a }'; done | best)
sed_utf8=$(for i in 1 2 3; do
    s=$(date +%s.%N); LC_ALL=C.UTF-8 sed 's/HOSTNAME/203.0.113.9/g' "$work/page.html" >"$work/sed.out"; e=$(date +%s.%N)
    awk -v a="$s" -v b="$e" 'BEGIN { print b - a }'; done | best)
cmp -s "$work/sed.out" "$work/page.html\$\$0" && echo "outputs identical" || echo "outputs differ"
printf "CHIKAN (UTF-8):       %.3f s, peak memory %s MiB\n" "$ours" "$ours_mem"
printf "CHIKAN (windows-31j): %.3f s\n" "$sjis"
printf "sed (LC_ALL=C):       %.3f s   ratio CHIKAN/sed %.2f\n" "$sed_time" "$(awk -v a="$ours" -v b="$sed_time" 'BEGIN { print a / b }')"
printf "sed (C.UTF-8):        %.3f s   ratio CHIKAN/sed %.2f\n" "$sed_utf8" "$(awk -v a="$ours" -v b="$sed_utf8" 'BEGIN { print a / b }')"
