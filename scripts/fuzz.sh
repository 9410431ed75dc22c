#!/usr/bin/env bash
# Runs one fuzz target of tests/fuzz/ for real with libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer
# (clang, in its own build folder build-fuzz/). New inputs go to build-fuzz/corpus/TARGET; a crash, a leak, a
# hang or a broken property stops the run and leaves the input in build-fuzz/artifacts/TARGET/. Put an input
# worth keeping into tests/fuzz/corpus/TARGET/, where the normal test run replays it.
# Usage: scripts/fuzz.sh settings|echo_answer|substitution|known_hosts [SECONDS, default 60] [libFuzzer options...]
set -euo pipefail
cd "$(dirname "$0")/.."
target="${1:?usage: scripts/fuzz.sh settings|echo_answer|substitution|known_hosts [SECONDS] [libFuzzer options...]}"
seconds="${2:-60}"
shift $(($# < 2 ? $# : 2))
[ -d "tests/fuzz/corpus/$target" ] || { echo "no such fuzz target: $target" >&2; exit 64; }
scripts/install-deps.sh --fuzz
build=build-fuzz
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELTORA_WERROR=ON -DVELTORA_FUZZ=ON \
    "${launcher[@]}" \
    -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer" \
    >/dev/null
cmake --build "$build" -j"$(nproc)" --target "fuzz_$target"
mkdir -p "$build/corpus/$target" "$build/artifacts/$target"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
# New inputs land in the first folder; the seeds are only read.
exec "$build/tests/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$build/artifacts/$target/" "$@" "$build/corpus/$target" "tests/fuzz/corpus/$target"
