#!/usr/bin/env bash
# Bash completion as bash itself runs it: the completion file sourced into a non-interactive
# bash, COMP_WORDS and COMP_CWORD set as bash sets them for a Tab, the function called, and
# COMPREPLY compared, on an installation whose network and meters have blanks in their names.
# Usage: completion_test.sh BUILD-DIR SOURCE-DIR
set -euo pipefail
build=$(realpath "$1")
source=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

export TELLUMIC_HOME=$work/home HOME=$work/user PATH=$build/tools:/usr/bin:/bin
"$build/tools/lns-sim" init --network "North Plant" --logging-meters 2 >"$work/init.log" 2>&1 ||
  { cat "$work/init.log"; fail "lns-sim init"; }

# The words bash would offer for a command line whose last word is being completed, one a
# line, in bash's own quoting ("North\ Plant").
complete_words() {
  bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _${COMP_WORDS[0]//-/_}; printf "%s\n" "${COMPREPLY[@]}"' \
    _ "$source/packaging/tellumic.bash-completion" "$@"
}

failures=0
# Each case: the words offered, exactly, then the command line (its last word the one typed).
expect() {
  local wanted=$1
  shift
  local got
  got=$(complete_words "$@")
  if [ "$got" != "$wanted" ]; then
    echo "FAIL: $* <Tab> offers [${got//$'\n'/|}], not [${wanted//$'\n'/|}]" >&2
    failures=$((failures + 1))
  fi
}

expect 'North\ Plant' lns-host devices No
expect 'North\ Plant' lns-host devices 'North\ P'
expect 'North Plant' lns-host register '"North P'
expect $'Demo\nNorth\\ Plant' lns-host devices ''
expect 'North\ Plant/North\ Plant/Meters/North\ Plant-Meter-01' lns-host browse 'North\ Plant' 'North\ Plant/North\ Plant/Meters/North\ Plant-Meter-01'
expect 'North\ Plant-Meter-02' lns-sim show 'North\ Plant-Meter-02'
expect 'North\ Plant' tellumic-log harvest No
expect 'North\ Plant-Meter-01' tellumic-log harvest --meter 'North\ Plant-Meter-01'
expect 'North\ Plant' tellumic-config save No
expect $'store' tellumic-log st
expect $'export' tellumic-log ex
expect $'--store\n--network\n--help' tellumic-log store a.csv -
expect 'North\ Plant' tellumic-log store a.csv --network No
expect $'TMC-FT-Log-364\nTMC-FT-Log-PT-370' tellumic-log export --store sqlite: --meter TMC-FT-Log-
expect '--meter' tellumic-log export --store sqlite: --me
expect '' tellumic-log export --store sqlite: --from ''
[ "$failures" -eq 0 ] || fail "$failures completions"
echo "completion keeps names with blanks whole and knows every tellumic-log command"
