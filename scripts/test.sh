#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors and runs every test (no display, no network
# beyond loopback).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
VELTORA_WERROR=ON scripts/build.sh
cd build
ctest --output-on-failure -j"$(nproc)"
