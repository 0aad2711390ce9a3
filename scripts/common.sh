# Shared by run.sh and test.sh: install what is missing, configure and build.
# Safe to repeat: installs only missing packages and builds incrementally.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${QMX_BUILD:-$ROOT/build}"

# qt6-translations-l10n: Qt's own texts in Japanese. Then the validators of the desktop entry,
# the AppStream metadata and the manual pages, and what the accessibility walk needs: a virtual
# display, a session bus, the accessibility bus and its Python client, and keys to press.
PACKAGES=(cmake ninja-build g++ qt6-base-dev qt6-serialport-dev qt6-qpa-plugins libgl-dev
          fonts-ipafont-gothic qt6-translations-l10n desktop-file-utils appstream man-db
          xvfb dbus at-spi2-core python3-pyatspi xdotool)

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
