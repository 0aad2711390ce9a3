#!/usr/bin/env bash
# One static check over the tree; prints each finding and fails when there is one. The presets
# "static" run them all (scripts/check-static.sh); each also runs alone:
#   scripts/lint.sh clang-tidy BUILD    clang-tidy (.clang-tidy) over the production code, from
#                                       BUILD's compile commands
#   scripts/lint.sh clang-format        every C++ file as .clang-format says
#   scripts/lint.sh shellcheck          every shell script, the bash completion included
#   scripts/lint.sh flake8              every Python script (.flake8)
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.." || exit 2
ROOT=$PWD

fail() {
    echo "$1: findings above" >&2
    exit 1
}

# Every tracked file whose first line starts it with INTERPRETER, and those named *.SUFFIX.
scripts_of() {
    local interpreter=$1 suffix=$2 file line
    while IFS= read -r file; do
        [ -f "$file" ] || continue
        if [[ "$file" = *."$suffix" ]]; then
            echo "$file"
        elif IFS= read -r line <"$file" && [[ "$line" =~ ^#!.*$interpreter ]]; then
            echo "$file"
        fi
    done < <(git ls-files --cached --others --exclude-standard)
}

clang_tidy() {
    local build=${1:?usage: lint.sh clang-tidy BUILD} log findings status=0
    log="$build/clang-tidy.log"
    run-clang-tidy -p "$build" -j2 -quiet "^$ROOT/(shell|link|files|platform|ui|cli|sim)/" 2>&1 |
        sed 's/\x1b\[[0-9;]*m//g' >"$log" || status=1
    findings="$(grep -E '^/.*:[0-9]+:[0-9]+: (warning|error): ' "$log" | sort -u || true)"
    if [ -n "$findings" ]; then
        grep -v -E '^clang-tidy|^[0-9]+ warnings? generated|^Suppressed|^Use -header-filter' "$log"
        echo "---- clang-tidy findings per check"
        grep -oE '\[[a-z0-9.,-]+\]$' <<<"$findings" | sort | uniq -c | sort -rn
        echo "---- clang-tidy findings per file"
        sed -E "s|^$ROOT/||; s|:.*||" <<<"$findings" | sort | uniq -c | sort -rn
        fail clang-tidy
    elif [ $status -ne 0 ] || grep -q -E 'error:' "$log"; then
        cat "$log"
        fail clang-tidy
    fi
    echo "clang-tidy: nothing found"
}

clang_format() {
    local file unformatted=()
    while IFS= read -r file; do
        [ -f "$file" ] || continue
        clang-format --dry-run -Werror "$file" >/dev/null 2>&1 || unformatted+=("$file")
    done < <(git ls-files --cached --others --exclude-standard '*.cpp' '*.h')
    if [ ${#unformatted[@]} -gt 0 ]; then
        echo "---- not formatted as .clang-format says (clang-format -i FILE):"
        printf '  %s\n' "${unformatted[@]}"
        fail clang-format
    fi
    echo "clang-format: every C++ file formatted"
}

# The completion has no first line to tell its shell: bash sources it.
run_shellcheck() {
    local files=()
    mapfile -t files < <(scripts_of '(ba)?sh' sh)
    shellcheck "${files[@]}" || fail shellcheck
    shellcheck --shell=bash packaging/bash-completion/* || fail shellcheck
    echo "shellcheck: ${#files[@]} scripts and the bash completion clean"
}

run_flake8() {
    local files=()
    mapfile -t files < <(scripts_of python py)
    flake8 "${files[@]}" || fail flake8
    echo "flake8: ${#files[@]} Python scripts clean"
}

case "${1:-}" in
clang-tidy) clang_tidy "${2:-}" ;;
clang-format) clang_format ;;
shellcheck) run_shellcheck ;;
flake8) run_flake8 ;;
*)
    echo "usage: lint.sh clang-tidy BUILD | clang-format | shellcheck | flake8" >&2
    exit 2
    ;;
esac
