#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test suite.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
install_missing
build
export QT_QPA_PLATFORM=offscreen
cd "$BUILD"
# The suites spend most of their time waiting on serial lines: two at a time.
ctest --output-on-failure --parallel "$(nproc)" "$@"
