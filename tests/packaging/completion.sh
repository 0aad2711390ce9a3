#!/usr/bin/env bash
# Drives the bash completion for qmxcli the way bash does on TAB and compares the offers.
#   completion.sh COMPLETION_FILE QMXCLI
# Exits 77 (skipped) when bash-completion is not installed.
set -uo pipefail

framework=/usr/share/bash-completion/bash_completion
[ -r "$framework" ] || { echo "SKIP: bash-completion is not installed"; exit 77; }
completion=$(realpath "$1")
qmxcli=$(realpath "$2")

# The framework reads unset variables, so leave -u off from here on.
set +u
# shellcheck source=/dev/null
source "$framework"
# shellcheck source=/dev/null
source "$completion"
# Outside a real TAB, bash refuses compopt; the offers are what is checked here.
# shellcheck disable=SC2317 # called by the completion
compopt() { :; }

# Prints what TAB offers after LINE, sorted, one a line.
offers() {
    COMP_LINE=$1
    COMP_POINT=${#1}
    read -ra COMP_WORDS <<<"$1"
    [[ $1 == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _qmxcli qmxcli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf '%s\n' "${COMPREPLY[@]}" | sort
}

failures=0
expect() {
    local line=$1 want got
    want=$(tr ' ' '\n' <<<"$2" | sed '/^$/d' | sort)
    got=$(offers "$line" | sed '/^$/d')
    if [ "$got" != "$want" ]; then
        echo "FAIL: '$line' offers [${got//$'\n'/ }], expected [${want//$'\n'/ }]"
        failures=$((failures + 1))
    fi
}

# Every word of the list must be among the offers after LINE.
expect_covers() {
    local line=$1 what=$2 have word missing=()
    have=$(offers "$line")
    for word in $3; do
        grep -qxF -- "$word" <<<"$have" || missing+=("$word")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "FAIL: '$line' does not offer the $what ${missing[*]} of qmxcli --help"
        failures=$((failures + 1))
    fi
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
mkdir sub
touch a.QMX b.qmx notes.txt

all_ports='1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16'
# line                                 offers
expect 'qmxcli '                       'info read write show defaults diff export import ports'
expect 'qmxcli d'                      'defaults diff'
expect 'qmxcli --lang '                'en ja'
expect 'qmxcli --lang=e'               'en'
expect 'qmxcli --speed 1'              '19200'
expect 'qmxcli --speed '               '4800 9600 19200 38400'
expect 'qmxcli --com '                 "$all_ports"
expect 'qmxcli --com 1'                '1 10 11 12 13 14 15 16'
expect 'qmxcli --com 3,1'              '3,1 3,10 3,11 3,12 3,13 3,14 3,15 3,16'
expect 'qmxcli --device ./n'           './notes.txt'
expect 'qmxcli --device ./x --lang '   'en ja'
expect 'qmxcli --com 2 read '          'a.QMX b.qmx sub'
expect 'qmxcli --yes write --ver'      '--verify --version'
expect 'qmxcli write --verify '        'a.QMX b.qmx sub'
expect 'qmxcli show a.QMX '            ''
expect 'qmxcli info '                  ''
expect 'qmxcli export '                'a.QMX b.qmx sub'
expect 'qmxcli export a.QMX '          'a.QMX b.qmx notes.txt sub'
expect 'qmxcli import '                'a.QMX b.qmx notes.txt sub'
expect 'qmxcli import notes.txt '      'a.QMX b.qmx sub'
expect 'qmxcli import --base '         'a.QMX b.qmx sub'
expect 'qmxcli import --base a.QMX '   'a.QMX b.qmx notes.txt sub'
expect 'qmxcli ports --'               '--com --device --speed --lang --yes --json --trace --help --version --map --unmap'
expect 'qmxcli ports --map '           "$all_ports"
expect 'qmxcli ports --unmap 1'        '1 10 11 12 13 14 15 16'
expect 'qmxcli ports --map 2 ./n'      './notes.txt'

help=$("$qmxcli" --help)
expect_covers 'qmxcli ' commands "$(sed -n '/^Commands:/,/^$/s/^  \([a-z]\+\) .*/\1/p' <<<"$help")"
expect_covers 'qmxcli -' options "$(grep -oE -- '(^| )(-[a-z]|--[a-z][a-z-]*)' <<<"$help" |
    tr -d ' ' | grep -vxE -- '--(verify|map|unmap|record|base|defaults)' | sort -u)"
expect_covers 'qmxcli write -' options '--verify --record'
expect_covers 'qmxcli import -' options '--base --defaults'

[ $failures -eq 0 ] && echo "ok: qmxcli completion"
exit $((failures > 0))
