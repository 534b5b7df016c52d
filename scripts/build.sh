#!/usr/bin/env bash
# Configures and builds the project into build/ (Release, warnings as errors).
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${TELLUMIC_BUILD_DIR:-build}
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTELLUMIC_WERROR=ON >/dev/null
cmake --build "$build_dir" -j"$(nproc)"
