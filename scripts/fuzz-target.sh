#!/usr/bin/env bash
# Runs one libFuzzer target for SECONDS on a copy of its seed corpus (fuzz/corpus/<target>/),
# with its dictionary when there is one. Its log and the inputs it found go to RUNS/<target>/,
# the input of a finding to RUNS/findings/; one line of figures goes to RUNS/<target>/summary.
# Exits 1 on any finding, after printing the log.
#   scripts/fuzz-target.sh BUILD/<target> SECONDS RUNS        (the fuzz tests run it)
set -uo pipefail

binary=$1 seconds=$2 runs=$3
target=$(basename "$binary")
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
work=$runs/$target
findings=$runs/findings

rm -rf "$work"
rm -f "$findings/$target"-*
mkdir -p "$work/corpus" "$findings"
cp "$root/fuzz/corpus/$target/"* "$work/corpus/"
dict=()
[ -f "$root/fuzz/dict/$target.dict" ] && dict=("-dict=$root/fuzz/dict/$target.dict")

status=0
"$binary" "$work/corpus" "${dict[@]}" -max_total_time="$seconds" -timeout=20 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$findings/$target-" \
    >"$work/log" 2>&1 || status=$?

execs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log")"
rate="$(sed -n 's/^stat::average_exec_per_sec: *//p' "$work/log")"
printf '%-20s %10s runs %8s exec/s   exit %s\n' "$target" "${execs:-?}" "${rate:-?}" "$status" |
    tee "$work/summary"
shopt -s nullglob
artifacts=("$findings/$target"-*)
if [ "$status" -ne 0 ] || [ ${#artifacts[@]} -ne 0 ]; then
    echo "---- $target: finding (log $work/log, inputs in $findings)"
    grep -v -E '^#[0-9]+|^INFO:|^\s*$' "$work/log" | tail -60
    exit 1
fi
