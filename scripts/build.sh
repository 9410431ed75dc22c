#!/usr/bin/env bash
# Configures and builds Veltora into build/ (the program is build/veltora).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELTORA_WERROR="${VELTORA_WERROR:-ON}" >/dev/null
cmake --build build -j"$(nproc)"
