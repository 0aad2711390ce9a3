#!/usr/bin/env bash
# Builds every target with AddressSanitizer and UndefinedBehaviorSanitizer into build-asan/ and
# runs every test there (the presets "sanitize"). Every process, the test programs and the
# qmx-sim and qmxcli they start, writes its reports into build-asan/sanitizer-reports/, since
# the tests discard the children's standard error; the test sanitizer_reports, run after the
# others, prints them and fails when there is one. A failed test or any report fails the run.
# A test that fails is run once more: instrumented and side by side on two cores, a reply can
# miss its 200 ms time-out, and the series then rightly reads again; the plain suites hold the
# timing, this run looks for memory and undefined behaviour (every report still counts).
#   scripts/check-sanitize.sh [ctest arguments]
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

install_missing
configure_and_build sanitize
ctest --preset sanitize "$@"
