#!/usr/bin/env bash
# Checks the packaging files with the validators the distributions run on them.
#   validate.sh desktop FILE          desktop-file-validate: no errors, warnings or hints
#   validate.sh metainfo FILE         appstreamcli validate --no-net --strict
#   validate.sh man FILE...           man --warnings: nothing on standard error
#   validate.sh help-in-man PROGRAM PAGE
#                                     every option (and qmxcli command) PROGRAM --help lists
#                                     appears in the manual page
# Exits 77, which CTest reports as skipped, when the validator is not installed.
set -uo pipefail

need() {
    command -v "$1" >/dev/null || { echo "SKIP: $1 is not installed"; exit 77; }
}

# The manual page as plain text, one paragraph a line as far as the width allows.
render() {
    MANWIDTH=200 LC_ALL=C.UTF-8 man -E UTF-8 -l "$1" 2>/dev/null | col -b
}

check_help_in_man() {
    local program=$1 page=$2 text help missing=()
    text=$(render "$page")
    help=$("$program" --help) || { echo "FAIL: $program --help failed"; return 1; }
    local option command
    # Each option has an entry of its own ("--yes", "-h, --help") or is part of a command's
    # entry ("write [--verify] file.QMX", "ports --map N path").
    while read -r option; do
        grep -qE -- "^ {7}([a-z]+ \[?|-[a-z], )?$option([] =,]|\$)" <<<"$text" ||
            missing+=("$option")
    done < <(grep -oE -- '--[a-z][a-z-]*' <<<"$help" | sort -u)
    # qmxcli lists its commands under "Commands:"; each has its own entry in COMMANDS.
    while read -r command; do
        grep -qE "^ {7}$command( |$)" <<<"$text" || missing+=("command $command")
    done < <(sed -n '/^Commands:/,/^$/s/^  \([a-z]\+\) .*/\1/p' <<<"$help")
    if [ ${#missing[@]} -gt 0 ]; then
        echo "FAIL: $page does not document: ${missing[*]}"
        return 1
    fi
    echo "ok: $page documents every option of $program --help"
}

mode=${1:?mode}
shift
case $mode in
    desktop)
        need desktop-file-validate
        out=$(desktop-file-validate "$1" 2>&1)
        rc=$?
        [ -n "$out" ] && echo "$out"
        [ $rc -eq 0 ] && [ -z "$out" ] && echo "ok: $1"
        ;;
    metainfo)
        need appstreamcli
        appstreamcli validate --no-net --strict "$1"
        ;;
    man)
        need man
        need groff
        rc=0
        for page in "$@"; do
            warnings=$(LC_ALL=C.UTF-8 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
            if [ -n "$warnings" ]; then
                echo "FAIL: $page"
                echo "$warnings"
                rc=1
            else
                echo "ok: $page"
            fi
        done
        exit $rc
        ;;
    help-in-man)
        need man
        need col
        check_help_in_man "$@"
        ;;
    *)
        echo "unknown mode $mode" >&2
        exit 2
        ;;
esac
