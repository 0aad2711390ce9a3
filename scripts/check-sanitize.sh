#!/usr/bin/env bash
# Builds every target with AddressSanitizer and UndefinedBehaviorSanitizer into build-asan/ and
# runs the test suites there. Every process (the test binaries and the qmx-sim and qmxcli they
# start, which inherit the environment) writes its reports into a fresh folder, since the tests
# discard the children's standard error. A failed test or any report fails the run.
#   scripts/check-sanitize.sh [ctest arguments]
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

BUILD="${QMX_ASAN_BUILD:-$ROOT/build-asan}"
# Debug: faster to build than RelWithDebInfo, and the suites mostly wait on the serial line.
BUILD_TYPE="${QMX_ASAN_BUILD_TYPE:-Debug}"

install_missing
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DQMX_SANITIZE=ON -DCMAKE_BUILD_TYPE="$BUILD_TYPE" \
    >/dev/null
cmake --build "$BUILD" -j2

reports="$BUILD/sanitizer-reports"
rm -rf "$reports"
mkdir -p "$reports"
common="log_path=$reports/report:print_summary=1"
export ASAN_OPTIONS="$common:detect_leaks=1:check_initialization_order=1:strict_init_order=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="$common:print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="$common"
export QT_QPA_PLATFORM=offscreen

status=0
(cd "$BUILD" && ctest --output-on-failure --parallel "$(nproc)" "$@") || status=$?

shopt -s nullglob
found=("$reports"/report*)
if [ ${#found[@]} -gt 0 ]; then
    for f in "${found[@]}"; do
        echo "==== $f"
        cat "$f"
    done
    echo "check-sanitize: ${#found[@]} sanitizer report(s), listed above" >&2
    exit 1
fi
if [ "$status" -ne 0 ]; then
    echo "check-sanitize: test failures under the sanitizers" >&2
    exit "$status"
fi
echo "check-sanitize: all suites passed, no sanitizer reports"
