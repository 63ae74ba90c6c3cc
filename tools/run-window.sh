#!/usr/bin/env bash
# Installs what is missing, builds, and opens the tool's window.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)"
exec build/bin/vqflash "$@"
