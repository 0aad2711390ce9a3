#!/usr/bin/env bash
# Builds the Debian package qmxconfig_<version>_<arch>.deb in a build folder.
#   scripts/package.sh [BUILD_DIR]          (default: build/, or $QMX_BUILD)
# A folder that is not configured yet is configured here with Debian's build flags
# (dpkg-buildflags, all hardening on); a configured folder is built as it is.
[ $# -gt 0 ] && export QMX_BUILD="$(realpath -m "$1")"
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

PACKAGES=(cmake ninja-build g++ qt6-base-dev qt6-serialport-dev libgl-dev gzip
          dpkg-dev file)
install_missing

if [ ! -f "$BUILD/CMakeCache.txt" ]; then
    # CMake takes CXXFLAGS and LDFLAGS from the environment on the first configure only.
    # dpkg-buildflags maps the source folder to "." in the debug paths; it reads the
    # current folder for that.
    cd "$ROOT"
    eval "$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --export=sh)"
    CXXFLAGS="$CPPFLAGS $CXXFLAGS" cmake -S "$ROOT" -B "$BUILD" -G Ninja \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi

cmake --build "$BUILD" --parallel "${QMX_JOBS:-2}"
cd "$BUILD"
rm -f qmxconfig_*.deb
cpack -G DEB
deb=(qmxconfig_*.deb)
echo "Package: $BUILD/${deb[0]}"
