# shellcheck shell=bash
# Sourced by the set-up commands and the checks: the packages they need, installing the missing
# ones, and the configure and build steps, which follow the presets of CMakePresets.json. Safe
# to repeat: installs only what is missing, and the presets build incrementally. Works from the
# top of the tree, where cmake looks for the presets: resolve relative paths before sourcing.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"
# The folder of the presets "default": the programs land at its top.
# shellcheck disable=SC2034 # for the scripts that source this
BUILD="$ROOT/build"

# qt6-translations-l10n: Qt's own texts in Japanese. Then the validators of the desktop entry,
# the AppStream metadata, the manual pages and the completion, and what the accessibility walk
# needs: a virtual display, a session bus, the accessibility bus and its Python client, and keys
# to press.
PACKAGES=(cmake ninja-build g++ python3 qt6-base-dev qt6-serialport-dev qt6-qpa-plugins libgl-dev
          fonts-ipafont-gothic qt6-translations-l10n desktop-file-utils appstream man-db
          bash-completion xvfb dbus at-spi2-core python3-pyatspi xdotool)

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

# Configures and builds with the configure and build presets named first; further arguments go
# to the configure step.
configure_and_build() {
    cmake --preset "$@" >/dev/null
    cmake --build --preset "$1"
}
