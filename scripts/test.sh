#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test suite.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
install_missing
build
export QT_QPA_PLATFORM=offscreen
cd "$BUILD"
# The suites mostly wait on serial lines: up to 12 tests at a time, more than there are cores;
# the longest suites run as several shards, each a process with a share of their test functions.
ctest --output-on-failure --parallel 12 "$@"
