#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test under a private D-Bus session bus
# with Qt's offscreen platform. Exits non-zero when anything fails.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
build_dir=${TELLUMIC_BUILD_DIR:-build}
export QT_QPA_PLATFORM=offscreen
exec dbus-run-session -- ctest --test-dir "$build_dir" --output-on-failure -j"$(nproc)" --timeout 900
