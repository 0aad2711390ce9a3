#!/usr/bin/env bash
# Static checks, the presets "static" in build-tidy/ (built without precompiled headers, so a
# missing include shows): clang-tidy (.clang-tidy) over the production code as the build step,
# then as tests clang-format (.clang-format) over every C++ file, shellcheck (.shellcheckrc) over
# every shell script, flake8 (.flake8) over every Python script, and the layering. Each prints
# its findings; any finding fails the run (scripts/lint.sh runs each check).
#   scripts/check-static.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

PACKAGES+=(clang-tidy clang-format shellcheck flake8)
install_missing
cmake --workflow --preset static
