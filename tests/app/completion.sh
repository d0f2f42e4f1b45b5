#!/usr/bin/env bash
# tests/app/completion.sh BUILD_DIR: zanvel-send's bash completion, with the built zanvel-send
# listing a store of this test's own. Each row: the words on the line, then what is offered.
set -uo pipefail
completions=/usr/share/bash-completion/bash_completion
if [ ! -f "$completions" ]; then
    echo "SKIP: bash-completion is not installed"
    exit 0
fi
source "$completions"
source "$(dirname "$0")/../../data/zanvel-send.bash-completion"
PATH=$1:$PATH
home=$(mktemp -d)
store=$home/entrys.txt
marker=$home/ran
trap 'rm -rf "$home"' EXIT
n=0
# A name that starts like an option is never offered: it would be taken for one.
for name in 'core switch' core-router 'edge $1' -lab; do
    printf '[entryno%d]\r\nentryname=%s\r\naddress=192.0.2.1\r\nport=69\r\nlocalfile=/x\r\nremotefile=x\r\n' \
        "$((n++))" "$name"
done >"$store"

failures=0
offered() { # offered WORD... -- EXPECTED...: completes the last WORD
    local words=() expected=()
    while [ "$1" != -- ]; do words+=("$1"); shift; done
    shift
    expected=("$@")
    COMP_WORDS=(zanvel-send "${words[@]}")
    COMP_CWORD=${#words[@]}
    COMP_LINE="${COMP_WORDS[*]}"
    COMP_POINT=${#COMP_LINE}
    COMPREPLY=()
    _zanvel_send zanvel-send "${COMP_WORDS[-1]}" "${COMP_WORDS[-2]}"
    if [ "${COMPREPLY[*]}" != "${expected[*]}" ]; then
        echo "FAIL: ${words[*]}: offered '${COMPREPLY[*]}', expected '${expected[*]}'"
        failures=$((failures + 1))
    fi
}
offered --bl -- --blksize
offered --store "$store" '' -- 'core\ switch' core-router 'edge\ \$1'
offered --store "$store" co -- 'core\ switch' core-router
offered --store "$store" 'core\ s' -- 'core\ switch'
# Inside quotes, the shell closes them itself.
offered --store "$store" "'core s" -- 'core switch'
offered --store "$store" '"core s' -- 'core switch'
offered --store "$store" '"edge $' -- 'edge \$1'
offered "--store=$store" core- -- core-router
HOME=$home offered --store '~/entrys.txt' core- -- core-router
# What is typed is never run, in the entry's place or the store's.
offered --store "$store" '`touch '"$marker"'`' --
offered --store '$(touch '"$marker"')' c --
[ -e "$marker" ] && echo "FAIL: the completion ran what was typed" && failures=$((failures + 1))
offered --store "$store" --quiet e -- 'edge\ \$1'
offered --store "$store" --blksize 1468 core- -- core-router
offered --store "$store" core-router /dev/nul -- /dev/null
offered --list '' --
offered --store "$store" --each c -- 'core\ switch' core-router
offered --store "$store" --each 'core-*' /dev/nul -- /dev/null
offered --store "$store" --wait 30 --jobs 4 e -- 'edge\ \$1'
offered --jso -- --json
[ "$failures" -eq 0 ] && echo "PASS: zanvel-send completion"
exit "$failures"
