#!/usr/bin/env bash
# Static checks: clang-tidy (.clang-tidy) over the production code and clang-format
# (.clang-format) over every C++ file in the tree. Prints each finding, then a count per check
# and per file; fails when there is any.
#   scripts/check-static.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

BUILD="${QMX_TIDY_BUILD:-$ROOT/build-tidy}"
PACKAGES+=(clang-tidy clang-format)
install_missing

# Only the compile commands are needed: the production code includes no generated files.
cmake -S "$ROOT" -B "$BUILD" -G Ninja >/dev/null

status=0
log="$BUILD/clang-tidy.log"
run-clang-tidy -p "$BUILD" -j2 -quiet "^$ROOT/(shell|link|files|platform|ui|cli|sim)/" 2>&1 |
    sed 's/\x1b\[[0-9;]*m//g' >"$log" || status=1
findings="$(grep -E '^/.*:[0-9]+:[0-9]+: (warning|error): ' "$log" | sort -u || true)"
if [ -n "$findings" ]; then
    status=1
    grep -v -E '^clang-tidy|^[0-9]+ warnings? generated|^Suppressed|^Use -header-filter' "$log"
    echo "---- clang-tidy findings per check"
    grep -oE '\[[a-z0-9.,-]+\]$' <<<"$findings" | sort | uniq -c | sort -rn
    echo "---- clang-tidy findings per file"
    sed -E "s|^$ROOT/||; s|:.*||" <<<"$findings" | sort | uniq -c | sort -rn
elif grep -q -E 'error:' "$log"; then
    status=1
    cat "$log"
fi

cd "$ROOT"
unformatted=()
while IFS= read -r file; do
    clang-format --dry-run -Werror "$file" >/dev/null 2>&1 || unformatted+=("$file")
done < <(git ls-files '*.cpp' '*.h')
if [ ${#unformatted[@]} -gt 0 ]; then
    status=1
    echo "---- not formatted as .clang-format says (clang-format -i FILE):"
    printf '  %s\n' "${unformatted[@]}"
fi

if [ "$status" -ne 0 ]; then
    echo "check-static: findings above" >&2
    exit 1
fi
echo "check-static: clang-tidy and clang-format found nothing"
