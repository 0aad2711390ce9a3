#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer into build-fuzz/ and runs each on a copy of its
# seed corpus (fuzz/corpus/<target>/) for SECONDS, two at a time. Any finding (crash, sanitizer
# report, leak, time-out, broken property) fails the run; its log is printed and its input is
# kept in build-fuzz/runs/findings/ until the next run.
#   scripts/check-fuzz.sh [SECONDS]          30 s per target; scripts/check-fuzz.sh 3600 for a long run
# Reproduce a finding:  build-fuzz/<target> build-fuzz/runs/findings/<target>-crash-...
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

seconds="${1:-30}"
BUILD="${QMX_FUZZ_BUILD:-$ROOT/build-fuzz}"
TARGETS=(fuzz_qmx_file fuzz_reply_path fuzz_command_line fuzz_numeric_entry fuzz_text_import)
PACKAGES+=(clang libclang-rt-14-dev)

install_missing
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DQMX_FUZZ=ON \
    -DBUILD_TESTING=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" --target fuzz-targets -j2

runs="$BUILD/runs"
findings="$runs/findings"
rm -rf "$runs"
mkdir -p "$findings" "$runs"

run_target() {
    local target="$1" work="$runs/$1"
    mkdir -p "$work/corpus"
    cp "$ROOT/fuzz/corpus/$target/"* "$work/corpus/"
    local dict=()
    [ -f "$ROOT/fuzz/dict/$target.dict" ] && dict=("-dict=$ROOT/fuzz/dict/$target.dict")
    local status=0
    "$BUILD/$target" "$work/corpus" "${dict[@]}" -max_total_time="$seconds" -timeout=20 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$findings/$target-" \
        >"$work/log" 2>&1 || status=$?
    echo "$status" >"$work/status"
}

for target in "${TARGETS[@]}"; do
    while [ "$(jobs -rp | wc -l)" -ge 2 ]; do
        wait -n || true
    done
    run_target "$target" &
done
wait

failed=0
for target in "${TARGETS[@]}"; do
    work="$runs/$target"
    status="$(cat "$work/status" 2>/dev/null || echo 99)"
    execs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log")"
    rate="$(sed -n 's/^stat::average_exec_per_sec: *//p' "$work/log")"
    artifacts="$(ls "$findings" | grep -c "^$target-" || true)"
    printf '%-20s %10s runs %8s exec/s   exit %s\n' "$target" "${execs:-?}" "${rate:-?}" "$status"
    if [ "$status" != 0 ] || [ "$artifacts" != 0 ]; then
        failed=1
        echo "---- $target: finding (log $work/log, inputs in $findings)"
        grep -v -E '^#[0-9]+|^INFO:|^\s*$' "$work/log" | tail -60
    fi
done
[ "$failed" -eq 0 ] || { echo "check-fuzz: findings above" >&2; exit 1; }
echo "check-fuzz: no findings in ${seconds} s per target"
