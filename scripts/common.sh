# Shared by run.sh and test.sh: install what is missing, configure and build.
# Safe to repeat: installs only missing packages and builds incrementally.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${QMX_BUILD:-$ROOT/build}"

# The last three validate the desktop entry, the AppStream metadata and the manual pages.
PACKAGES=(cmake ninja-build g++ qt6-base-dev qt6-serialport-dev qt6-qpa-plugins libgl-dev
          fonts-ipafont-gothic desktop-file-utils appstream man-db)

install_missing() {
    local missing=()
    for p in "${PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
        "${missing[@]}"
}

build() {
    cmake -S "$ROOT" -B "$BUILD" -G Ninja >/dev/null
    cmake --build "$BUILD"
}
