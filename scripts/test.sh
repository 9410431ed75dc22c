#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors and runs every test (no display, no network
# beyond loopback: where this user may make a network namespace, as root or through an unprivileged user
# namespace, the tests run in one that has loopback alone, so a test that would reach the Internet fails).
# Usage: scripts/test.sh [--sanitize|--tsan]
#   (none)      build/ as the README builds it; the whole suite, the fuzz corpora replayed included
#   --sanitize  build-asan/ with AddressSanitizer, UndefinedBehaviorSanitizer and LeakSanitizer; the whole
#               suite, the real program started by the tests included
#   --tsan      build-tsan/ with ThreadSanitizer; the tests that run transfers, whose workers share the URL
#               and the credentials with the window's thread (the window's own life cycle and the real
#               program among them)
# A sanitizer run fails on any report, from a test or from a program a test started: every report is written
# to a file of the build folder's sanitizer-reports/, listed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
mode="${1:-}"

# Runs a command in a network namespace of its own with only loopback up, where that can be made.
isolated() {
    local namespace=(unshare --net)
    [ "$(id -u)" -eq 0 ] || namespace=(unshare --net --map-current-user --keep-caps)
    local ip
    ip="$(PATH="$PATH:/usr/sbin:/sbin" command -v ip || true)"
    if [ -n "$ip" ] && "${namespace[@]}" "$ip" link set lo up 2>/dev/null; then
        "${namespace[@]}" sh -c '"$0" link set lo up && exec "$@"' "$ip" "$@"
    else
        echo "test.sh: cannot make a network namespace here; the tests run with this machine's network" >&2
        "$@"
    fi
}

case "$mode" in
"")
    scripts/install-deps.sh
    VELTORA_WERROR=ON scripts/build.sh
    # The interop test's servers come from the package registry: fetched here, before the network goes.
    scripts/interop-servers.sh "$PWD/build/interop-servers"
    cd build
    isolated ctest --output-on-failure -j"$(nproc)"
    exit
    ;;
--sanitize)
    build=build-asan
    flags="-fsanitize=address,undefined -fno-sanitize-recover=all"
    tests=()
    ;;
--tsan)
    build=build-tsan
    flags="-fsanitize=thread"
    tests=(-R '^test_(ftp_upload|secure_upload|global_lookup|run_cycle|program_end|main_form_lifecycle)$')
    ;;
*)
    echo "usage: scripts/test.sh [--sanitize|--tsan]" >&2
    exit 64
    ;;
esac

scripts/install-deps.sh --sanitize
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELTORA_WERROR=ON "${launcher[@]}" \
    -DCMAKE_CXX_FLAGS="$flags -fno-omit-frame-pointer" -DCMAKE_EXE_LINKER_FLAGS="$flags" >/dev/null
cmake --build "$build" -j"$(nproc)"
[ "$mode" = --tsan ] || scripts/interop-servers.sh "$PWD/$build/interop-servers"

reports="$PWD/$build/sanitizer-reports"
rm -rf "$reports"
mkdir -p "$reports"
supp="$PWD/tests/sanitizers"
common="halt_on_error=1:abort_on_error=0:print_stacktrace=1:log_path=$reports/report"
export ASAN_OPTIONS="$common:detect_leaks=1:detect_stack_use_after_return=1:strict_init_order=1:check_initialization_order=1"
export LSAN_OPTIONS="$common:suppressions=$supp/lsan.supp"
export UBSAN_OPTIONS="$common:suppressions=$supp/ubsan.supp"
# The test servers and the program are started by fork and exec from a process with threads.
export TSAN_OPTIONS="$common:second_deadlock_stack=1:die_after_fork=0:suppressions=$supp/tsan.supp"
# Instrumented code runs several times slower; the servers and libcurl's limits keep to the wall clock.
export VELTORA_TEST_TIMEOUT_FACTOR="${VELTORA_TEST_TIMEOUT_FACTOR:-4}"

status=0
(cd "$build" && isolated ctest --output-on-failure -j"$(nproc)" "${tests[@]}") || status=$?
found=("$reports"/*)
if [ -e "${found[0]}" ]; then
    for report in "${found[@]}"; do
        echo "==== $report"
        cat "$report"
    done
    echo "sanitizer reports: ${#found[@]}" >&2
    status=1
fi
exit "$status"
