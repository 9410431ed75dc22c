#!/usr/bin/env bash
# Installs what is missing (Japanese font included), builds and starts Veltora.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --run
scripts/build.sh
exec build/veltora
