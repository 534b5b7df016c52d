#!/usr/bin/env bash
# Installs what is missing, builds twice (GCC into build/, clang with AddressSanitizer and
# UndefinedBehaviorSanitizer into build-asan/) and runs every test in both builds, under a
# private D-Bus session bus (scripts/test-bus.sh) with Qt's offscreen platform. Exits non-zero when anything fails.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
TELLUMIC_SANITIZE=1 bash scripts/build.sh

export QT_QPA_PLATFORM=offscreen
run_tests() {
  bash scripts/test-bus.sh ctest --test-dir "$1" --output-on-failure -j"$(nproc)" --timeout 900
}
status=0
run_tests "${TELLUMIC_BUILD_DIR:-build}" || status=1
# A finding of either sanitizer ends the program with an error, so the test fails.
ASAN_OPTIONS=detect_leaks=1:halt_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_tests "${TELLUMIC_ASAN_BUILD_DIR:-build-asan}" || status=1
exit $status
