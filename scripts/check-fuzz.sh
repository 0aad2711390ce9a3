#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer into build-fuzz/ and runs each for SECONDS on a
# copy of its seed corpus (fuzz/corpus/<target>/), two at a time: the presets "fuzz", where
# each target is the test of its name (scripts/fuzz-target.sh runs it). Any finding (crash,
# sanitizer report, leak, time-out, broken property) fails its test, which prints its log; the
# input is kept in build-fuzz/runs/findings/ until the target's next run.
#   scripts/check-fuzz.sh [SECONDS]          30 s per target; scripts/check-fuzz.sh 3600 for a long run
# Reproduce a finding:  build-fuzz/<target> build-fuzz/runs/findings/<target>-crash-...
seconds="${1:-30}"
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

PACKAGES+=(clang libclang-rt-14-dev)
install_missing
configure_and_build fuzz -DQMX_FUZZ_SECONDS="$seconds"
status=0
ctest --preset fuzz || status=$?
cat "$ROOT"/build-fuzz/runs/*/summary 2>/dev/null || true
[ "$status" -eq 0 ] || { echo "check-fuzz: findings above" >&2; exit 1; }
echo "check-fuzz: no findings in ${seconds} s per target"
