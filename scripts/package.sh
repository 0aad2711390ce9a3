#!/usr/bin/env bash
# Builds the Debian package qmxconfig_<version>_<arch>.deb in a build folder.
#   scripts/package.sh [BUILD_DIR]          (default: build/)
# A folder that is not configured yet is configured here with the presets "default" and Debian's
# build flags (dpkg-buildflags, all hardening on); a configured folder is built as it is.
target="$(realpath -m "${1:-$(dirname "${BASH_SOURCE[0]}")/../build}")"
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
BUILD=$target

PACKAGES=(cmake ninja-build g++ qt6-base-dev qt6-serialport-dev libgl-dev gzip dpkg-dev file)
install_missing

if [ ! -f "$BUILD/CMakeCache.txt" ]; then
    # CMake takes CXXFLAGS and LDFLAGS from the environment on the first configure only.
    # dpkg-buildflags maps the source folder to "." in the debug paths; it reads the current
    # folder, the top of the tree, for that.
    eval "$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --export=sh)"
    CXXFLAGS="$CPPFLAGS $CXXFLAGS" cmake --preset default -B "$BUILD" >/dev/null
fi

cmake --build "$BUILD"
cd "$BUILD"
rm -f qmxconfig_*.deb
cpack -G DEB
deb=(qmxconfig_*.deb)
echo "Package: $BUILD/${deb[0]}"
