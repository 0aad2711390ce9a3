#!/usr/bin/env bash
# Installs what is missing, then configures, builds and tests build/ with the presets "default"
# (CMakePresets.json). ctest runs up to 12 tests at a time, more than there are cores, because
# the suites mostly wait on serial lines; the longest suites run as several shards, each a
# process with a share of the suite's test functions (tests/CMakeLists.txt).
#   scripts/test.sh [ctest arguments]          e.g. scripts/test.sh -R tst_link
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
install_missing
configure_and_build default
ctest --preset default "$@"
