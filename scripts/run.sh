#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job on the simulated network.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
build_dir=${TELLUMIC_BUILD_DIR:-build}
export TELLUMIC_HOME=${TELLUMIC_HOME:-$HOME/.local/share/tellumic}
echo "TELLUMIC_HOME=$TELLUMIC_HOME"
if [ -x "$build_dir/tools/lns-sim" ]; then
  "$build_dir/tools/lns-sim" init
  "$build_dir/tools/lns-sim" list
else
  echo "The simulated network is not built yet; the build and its libraries are ready in $build_dir."
fi
