#!/usr/bin/env bash
# Installs what is missing, builds, and makes the Debian package with CPack:
# build/package/tellumic_VERSION_ARCH.deb (TELLUMIC_BUILD_DIR for another build folder).
# Install it with: sudo apt install ./build/package/tellumic_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${TELLUMIC_BUILD_DIR:-build}
bash scripts/install-deps.sh
bash scripts/build.sh
cpack --config "$build_dir/CPackConfig.cmake" -B "$build_dir/package"
deb=$(ls "$build_dir"/package/tellumic_*.deb)
echo "The package is $deb"
