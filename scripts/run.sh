#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job: the simulated LNS installation
# is set up, the plug-in is registered on the machine and in the demo network, and a demo
# meter is browsed. Without a display it runs under Xvfb, saves a screenshot of the device
# window and says where.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build_dir=${TELLUMIC_BUILD_DIR:-build}
meter=${TELLUMIC_DEMO_METER:-TMC-FT-Log-PT-370}

if [ "${1:-}" != "--inner" ]; then
  bash scripts/install-deps.sh
  bash scripts/build.sh
  export TELLUMIC_HOME=${TELLUMIC_HOME:-$HOME/.local/share/tellumic}
  echo "TELLUMIC_HOME=$TELLUMIC_HOME"
  "$build_dir/tools/lns-sim" init
  if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    export TELLUMIC_HEADLESS=1
    exec xvfb-run -a -s "-screen 0 1280x900x24" bash "$0" --inner
  fi
  exec bash "$0" --inner
fi

if [ -n "${TELLUMIC_HEADLESS:-}" ]; then
  # Nobody is there to answer questions: each is answered with its default button and
  # written to a file instead. Set before the bus starts, whose environment the plug-in gets.
  export TELLUMIC_DIALOG_LOG="$TELLUMIC_HOME/Plug-In/dialogs.log"
fi

# A session bus to meet the plug-in on: the desktop's, or a private one.
if [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ] && [ "${TELLUMIC_INNER_BUS:-}" != 1 ]; then
  export TELLUMIC_INNER_BUS=1
  exec dbus-run-session -- bash "$0" --inner
fi

plugin="$root/$build_dir/host/tellumic-plugin"
host="$root/$build_dir/tools/lns-host"
echo "Registering the plug-in on this machine..."
"$plugin" /regplugin
"$host" plugins
echo "Registering the plug-in in the demo network..."
"$host" register Demo
"$host" devices Demo

object="Demo/Demo/Meters/$meter"
if [ -z "${TELLUMIC_HEADLESS:-}" ]; then
  echo "Browsing $object: close the device window to end."
  exec "$host" browse Demo "$object"
fi

shot="$TELLUMIC_HOME/device-window.png"
"$host" browse Demo "$object" --left 0 --top 0 --width 1000 --height 720 --exit-after 4
import -window root -crop 1000x720+0+0 "$shot"
# The plug-in keeps its window for a user after the host let go; it is ended here, before
# the X server goes with this script, so that it closes its network and leaves cleanly.
"$host" close
echo "Browsed $object under Xvfb; a screenshot of the device window is in $shot"
[ -s "$TELLUMIC_DIALOG_LOG" ] && echo "Questions the plug-in asked (answered with their default button): $TELLUMIC_DIALOG_LOG"
exit 0
