#!/usr/bin/env bash
# The window as a screen reader meets it: starts qmxconfig on a virtual display with the
# accessibility bus, in Japanese and in English, with and without the extended pages, and
# walks its accessibility tree from outside (scripts/accessibility-walk.py): names, duplicates, borrowed
# names, enabled states, the help on every parameter and Tab order, in the main window, the
# Options dialog and the About box.
#   scripts/check-accessibility.sh BUILD/qmxconfig
# Exits 77 (skipped under CTest) when Xvfb, D-Bus, at-spi2-core, pyatspi or xdotool is
# missing; the set-up commands (scripts/common.sh) install them.
set -uo pipefail

program=$(realpath "${1:?usage: check-accessibility.sh PATH/TO/qmxconfig}")
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
launcher=/usr/libexec/at-spi-bus-launcher
source "$here/virtual-display.sh"

skip() {
    echo "SKIP: $* is not installed"
    exit 77
}
command -v Xvfb >/dev/null || skip "Xvfb (xvfb)"
command -v dbus-run-session >/dev/null || skip "dbus-run-session (dbus)"
[ -x "$launcher" ] || skip "$launcher (at-spi2-core)"
command -v xdotool >/dev/null || skip "xdotool"
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null || skip "pyatspi (python3-pyatspi)"

# A session bus of its own, so that nothing reaches the desktop's.
if [ -z "${QMX_A11Y_SESSION:-}" ]; then
    QMX_A11Y_SESSION=1 exec dbus-run-session -- bash "$0" "$program"
fi

work=$(mktemp -d)
pids=()
# Run by the trap on exit, which shellcheck does not follow.
# shellcheck disable=SC2317
finish() {
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null; done
    wait 2>/dev/null
    rm -rf "$work"
}
trap finish EXIT

# Settings (the window's placement) go into a folder of their own.
export HOME=$work XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/run
mkdir -m 700 "$XDG_RUNTIME_DIR"

# shellcheck disable=SC2119 # no options for Xvfb
start_virtual_display || { echo "FAIL: Xvfb did not start"; exit 1; }
"$launcher" --launch-immediately >/dev/null 2>&1 &
pids+=($!)

export QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1
status=0
# With "/EXT" all five pages; without it the three that can be chosen, the EXTEND tabs
# reported unavailable.
for run in "ja 5 /EXT" "en 5 /L:E /EXT" "ja 3" "en 3 /L:E"; do
    read -r language pages options <<<"$run"
    # shellcheck disable=SC2086 # the options are words
    "$program" $options &
    app=$!
    /usr/bin/python3 "$here/accessibility-walk.py" "$language" --pages "$pages" || status=1
    kill "$app" 2>/dev/null
    wait "$app" 2>/dev/null
done
[ $status -eq 0 ] && echo "ok: every page, the Options dialog and the About box in both languages"
exit $status
