#!/usr/bin/env bash
# Configures and builds the project into build/ (GCC, Release, warnings as errors).
#
# TELLUMIC_SANITIZE=1 builds instead with clang++ and AddressSanitizer plus
# UndefinedBehaviorSanitizer into build-asan/ (TELLUMIC_ASAN_BUILD_DIR): every target, so
# that the whole project is also known to build warning-free with clang.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${TELLUMIC_SANITIZE:-0}" = 1 ]; then
  build_dir=${TELLUMIC_ASAN_BUILD_DIR:-build-asan}
  cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO='-O1 -gline-tables-only' -DCMAKE_CXX_COMPILER=clang++ \
    -DTELLUMIC_SANITIZE=ON -DTELLUMIC_WERROR=ON >/dev/null
else
  build_dir=${TELLUMIC_BUILD_DIR:-build}
  cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTELLUMIC_WERROR=ON >/dev/null
fi
cmake --build "$build_dir" -j"$(nproc)"
