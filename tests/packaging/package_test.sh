#!/usr/bin/env bash
# Builds the Debian package from an already-built tree, checks it with lintian,
# desktop-file-validate, appstreamcli and man, unpacks it into a scratch root and runs the
# unpacked programs on a fresh TELLUMIC_HOME, proving that they find each other and their
# data from where they are installed, not from the build tree.
# Usage: package_test.sh BUILD-DIR SOURCE-DIR
set -euo pipefail
# (grep -q in a pipe would end the writer early, which pipefail takes as a failure.)
build=$(realpath "$1")
source=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/out/tellumic_*.deb)
echo "package: $(basename "$deb")"
version=$(dpkg-deb -f "$deb" Version)
[ "$version" = "$(sed -n 's/.*kPlugInVersion = "\([0-9.]*\)".*/\1/p' "$source/foundation/plugin_state.h")" ] ||
  fail "package version $version is not the plug-in's"
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libqt6dbus6 libsqlite3-0 libstdc++6 dbus; do
  [[ $depends == *"$lib"* ]] || fail "Depends lacks $lib: $depends"
done

[[ $(dpkg-deb -f "$deb" Recommends) == *bash-completion* ]] ||
  fail "Recommends lacks bash-completion, which loads the programs' completions: $(dpkg-deb -f "$deb" Recommends)"

lintian --fail-on error --display-info --suppress-tags no-manual-page "$deb" | tee "$work/lintian.log" ||
  fail "lintian reports errors"
# Every text the package can spell is spelled right; the rest are overridden with a reason.
! grep -E '^[EWI]: tellumic: spelling-error' "$work/lintian.log" || fail "lintian finds misspelt words"

root=$work/root
dpkg-deb -x "$deb" "$root"
for f in usr/bin/tellumic-plugin usr/bin/lns-host usr/bin/lns-sim usr/bin/tellumic-log usr/bin/XIF32BIN \
         usr/share/dbus-1/services/Tellumic_PlugIn.LNSPlugInAPI.service \
         usr/lib/systemd/user/tellumic-harvest@.service usr/lib/systemd/user/tellumic-harvest@.timer \
         usr/share/icons/hicolor/scalable/apps/com.tellumic.NetworkBrowser.svg \
         usr/share/icons/hicolor/scalable/apps/com.tellumic.LogViewer.svg \
         usr/share/bash-completion/completions/lns-host usr/share/bash-completion/completions/lns-sim \
         usr/share/bash-completion/completions/tellumic-log \
         usr/share/doc/tellumic/copyright usr/share/doc/tellumic/changelog.gz; do
  [ -e "$root/$f" ] || fail "the package lacks /$f"
done
grep -qx 'Exec=/usr/bin/tellumic-plugin -Embedding' "$root/usr/share/dbus-1/services/Tellumic_PlugIn.LNSPlugInAPI.service" ||
  fail "the activation file does not start /usr/bin/tellumic-plugin"
grep -q '^ExecStart=/usr/bin/tellumic-log harvest %I --max-time 5h$' "$root/usr/lib/systemd/user/tellumic-harvest@.service" ||
  fail "the harvest unit does not run /usr/bin/tellumic-log"

for desktop in "$root"/usr/share/applications/*.desktop; do
  desktop-file-validate "$desktop" || fail "desktop-file-validate $(basename "$desktop")"
done
grep -qx 'Exec=lns-host' "$root/usr/share/applications/com.tellumic.NetworkBrowser.desktop" || fail "browser entry"
# Task bars match a window to its entry by the window class, the program's name.
for entry in NetworkBrowser:lns-host LogViewer:tellumic-log; do
  grep -qx "StartupWMClass=${entry#*:}" "$root/usr/share/applications/com.tellumic.${entry%%:*}.desktop" ||
    fail "com.tellumic.${entry%%:*}.desktop does not name the window class ${entry#*:}"
done
viewer=$root/usr/share/applications/com.tellumic.LogViewer.desktop
grep -qx 'Exec=tellumic-log view %f' "$viewer" && grep -qx 'MimeType=text/csv;' "$viewer" || fail "viewer entry"
# Offered for CSV files, never made their default application.
! grep -rqs 'text/csv=' "$root/usr/share/applications" "$root/etc" || fail "the package sets a default for CSV files"
for metainfo in "$root"/usr/share/metainfo/*.xml; do
  appstreamcli validate --no-net --pedantic "$metainfo" || fail "appstreamcli $(basename "$metainfo")"
done
pages=0
for page in "$root"/usr/share/man/man1/*.1.gz; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man $(basename "$page"): $warnings"
  pages=$((pages + 1))
done
[ "$pages" -eq 6 ] || fail "$pages manual pages, not 6"

# Nothing installed names the build or the source tree.
if grep -rlF -e "$build" -e "$source" "$root"; then
  fail "installed files name the build tree"
fi

# The unpacked programs on a fresh installation, with only system folders on PATH.
export TELLUMIC_HOME=$work/home HOME=$work/user XDG_DATA_HOME=$work/user/data PATH=/usr/bin:/bin
unset XDG_CONFIG_HOME
bin=$root/usr/bin
"$bin/lns-sim" init >"$work/init.log" 2>&1 || { cat "$work/init.log"; fail "lns-sim init"; }
! grep -q 'not found' "$work/init.log" || fail "lns-sim init: $(cat "$work/init.log")"
converter=$(readlink -f "$TELLUMIC_HOME/LonWorks/bin/XIF32BIN")
[ "$converter" = "$bin/XIF32BIN" ] || fail "lns-sim init linked XIF32BIN to $converter, not $bin/XIF32BIN"
"$converter" "$TELLUMIC_HOME/LonWorks/Import/$(ls "$TELLUMIC_HOME/LonWorks/Import" | grep -m1 '\.xif$')" "$work/meter.xfb" ||
  fail "the installed XIF32BIN"

head -c 240 /dev/zero >"$work/dump.bin"
"$bin/tellumic-log" decode --short --header "$work/dump.bin" >"$work/decoded.csv" 2>"$work/decode.err" ||
  fail "tellumic-log decode: $(cat "$work/decode.err")"
[ "$(wc -l <"$work/decoded.csv")" -eq 12 ] || fail "tellumic-log decode wrote $(wc -l <"$work/decoded.csv") lines, not 2 + 10"

"$bin/lns-host" devices Demo >"$work/devices.txt" || fail "lns-host devices Demo"
grep -q '^Demo/Demo/Meters$' "$work/devices.txt" || fail "lns-host devices Demo: $(cat "$work/devices.txt")"
grep -q 'TMC-FT-Log-364' "$work/devices.txt" || fail "lns-host devices Demo lists no TMC-FT-Log-364"

"$bin/tellumic-config" save Demo TMC-FT-Log-364 "$work/meter.json" || fail "tellumic-config save Demo TMC-FT-Log-364"
"$bin/tellumic-config" diff "$work/meter.json" Demo TMC-FT-Log-364 >/dev/null ||
  fail "tellumic-config diff of the file just saved found differences"

# The unpacked plug-in, started by a session bus of its own through the activation file it
# writes for itself, registers in the network.
"$bin/tellumic-plugin" /regserver || fail "tellumic-plugin /regserver"
grep -qF "\"$bin/tellumic-plugin\" -Embedding" "$XDG_DATA_HOME/dbus-1/services/Tellumic_PlugIn.LNSPlugInAPI.service" ||
  fail "the activation file /regserver wrote: $(cat "$XDG_DATA_HOME/dbus-1/services/Tellumic_PlugIn.LNSPlugInAPI.service")"
QT_QPA_PLATFORM=offscreen timeout 120 dbus-run-session -- "$bin/lns-host" register Demo >"$work/register.log" 2>&1 ||
  fail "lns-host register Demo: $(cat "$work/register.log")"
"$bin/lns-host" devices Demo | grep 'TMC-FT-Log-364.*commands: Browse Tellumic (20)' >/dev/null ||
  fail "the installed plug-in did not register in Demo"
echo "installed programs ran from $root"

# Bash completion offers the installation's networks and devices, through the installed lns-sim.
complete_words() {
  PATH=$bin:$PATH bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _${COMP_WORDS[0]//-/_}; printf "%s\n" "${COMPREPLY[@]}"' \
    _ "$root/usr/share/bash-completion/completions/lns-host" "$@"
}
[ "$(complete_words lns-host devices '')" = Demo ] || fail "lns-host completion of networks: $(complete_words lns-host devices '')"
complete_words lns-host browse Demo Demo/Demo/Meters/TMC-FT-Log | grep -x 'Demo/Demo/Meters/TMC-FT-Log-364' >/dev/null ||
  fail "lns-host completion of object names"
complete_words lns-sim condition TMC-FT-Log-364 off | grep -x offline >/dev/null || fail "lns-sim completion of states"
complete_words tellumic-log harvest --meter TMC-FT-Log- | grep -x TMC-FT-Log-364 >/dev/null || fail "tellumic-log completion of meters"
complete_words tellumic-config apply plant.json Demo --meter TMC-FT-Log-364 TMC-FT-Pl | grep -x TMC-FT-Plus-333 >/dev/null ||
  fail "tellumic-config completion of meters"
[ -z "$(TELLUMIC_HOME=$work/none complete_words lns-host devices '')" ] && [ ! -e "$work/none" ] ||
  fail "completion without an installation offered names or created one"
echo "completion offers the installation's names"
