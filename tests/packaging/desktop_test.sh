#!/usr/bin/env bash
# The windows of the built programs as a task bar meets them on an X display: each carries an
# icon, and its window class is the StartupWMClass of the desktop entry that starts it, so
# that the running window is matched to its entry.
# Usage: desktop_test.sh BUILD-DIR SOURCE-DIR
set -euo pipefail
build=$(realpath "$1")
source=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

export TELLUMIC_HOME=$work/home HOME=$work/user XDG_DATA_HOME=$work/user/data
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
head -c 240 /dev/zero >"$work/dump.bin"
"$build/tools/tellumic-log" decode --short --header "$work/dump.bin" >"$work/meter-log-short-2026.csv" 2>/dev/null ||
  fail "tellumic-log decode"

# Runs a program on a display of its own until its window shows (the top-level window with a
# class, not Qt's hidden leader window); prints the window's class
# and whether it carries an icon ("icon" or "no icon").
window_of() {
  xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    "$@" >/dev/null 2>&1 &
    program=$!
    for _ in $(seq 100); do
      id=$(xwininfo -root -tree 2>/dev/null | sed -n "s/^ *\(0x[0-9a-f]*\) \"Tellumic[^\"]*\": (\".*/\1/p" | head -n1)
      [ -n "$id" ] && break
      sleep 0.2
    done
    if [ -n "$id" ]; then
      xprop -id "$id" WM_CLASS | sed -n "s/.*= \"[^\"]*\", \"\([^\"]*\)\"/\1/p"
      xprop -id "$id" _NET_WM_ICON | grep -q "_NET_WM_ICON(CARDINAL)" && echo icon || echo "no icon"
    fi
    kill "$program" 2>/dev/null
    wait "$program" 2>/dev/null || true
  ' _ "$@"
}

check() {
  local entry=$source/packaging/$1.desktop
  shift
  local wanted seen
  wanted=$(sed -n 's/^StartupWMClass=//p' "$entry")
  [ -n "$wanted" ] || fail "$(basename "$entry") names no StartupWMClass"
  seen=$(window_of "$@")
  [ "$(sed -n 1p <<<"$seen")" = "$wanted" ] ||
    fail "$*: the window's class is \"$(sed -n 1p <<<"$seen")\", the entry's StartupWMClass \"$wanted\""
  [ "$(sed -n 2p <<<"$seen")" = icon ] || fail "$*: the window has no icon"
  echo "$*: class $wanted, with its icon"
}

check com.tellumic.NetworkBrowser "$build/tools/lns-host"
check com.tellumic.LogViewer "$build/tools/tellumic-log" view "$work/meter-log-short-2026.csv"
