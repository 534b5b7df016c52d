#!/usr/bin/env bash
# Runs a command (ctest, or one test program) under a session bus of its own that starts
# services only from $XDG_DATA_HOME/dbus-1/services when that is set, and never from the
# machine's folders: an installed package's activation file would answer for the plug-in
# in place of the build tree's.
#   QT_QPA_PLATFORM=offscreen bash scripts/test-bus.sh ctest --test-dir build
set -euo pipefail
[ $# -gt 0 ] || { echo "usage: $0 COMMAND [ARGUMENT...]" >&2; exit 2; }
here=$(cd "$(dirname "$0")/.." && pwd)
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
dirs=""
if [ -n "${XDG_DATA_HOME:-}" ]; then
  escaped=$(printf '%s' "$XDG_DATA_HOME/dbus-1/services" | sed -e 's/&/\&amp;/g' -e 's/</\&lt;/g' -e 's/>/\&gt;/g')
  dirs="<servicedir>$escaped</servicedir>"
fi
# The folders go in as they are (bash 5.2 would otherwise read '&' in them as the match).
shopt -u patsub_replacement 2>/dev/null || true
template=$(cat "$here/tests/support/session_bus.conf.in")
printf '%s\n' "${template/@SERVICE_DIRS@/$dirs}" >"$folder/session.conf"
status=0
dbus-run-session --config-file="$folder/session.conf" -- "$@" || status=$?
exit $status
