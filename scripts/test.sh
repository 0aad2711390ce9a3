#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test suite.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
install_missing
build
export QT_QPA_PLATFORM=offscreen
cd "$BUILD"
ctest --output-on-failure "$@"
