#!/usr/bin/env bash
# Configures and builds into build/ (2 jobs: CI machines have 2 cores).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build build -j2
