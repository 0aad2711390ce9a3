#!/usr/bin/env bash
# The window as a screen reader meets it: starts qmxconfig on a virtual display with the
# accessibility bus, in Japanese and in English, with and without the extended pages, its COM 1
# a simulated controller (qmx-sim, beside qmxconfig) whose values differ from the factory ones,
# and walks its accessibility tree from outside (scripts/accessibility-walk.py): names,
# duplicates, borrowed names, enabled states, the help on every parameter and Tab order, in the
# main window, the Options dialog and the About box; the Edit menu; connected and loaded, the
# change marks, Undo and Redo, Compare with QMX-001 and the question on Exit.
#   scripts/check-accessibility.sh BUILD/qmxconfig
# Exits 77 (skipped under CTest) when Xvfb, D-Bus, at-spi2-core, pyatspi, xdotool or qmx-sim is
# missing; the set-up commands (scripts/common.sh) install them, the build makes qmx-sim.
set -uo pipefail

program=$(realpath "${1:?usage: check-accessibility.sh PATH/TO/qmxconfig}")
simulator=$(dirname "$program")/qmx-sim
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
launcher=/usr/libexec/at-spi-bus-launcher
source "$here/virtual-display.sh"

skip() {
    echo "SKIP: $* is not installed"
    exit 77
}

# The two languages side by side, each on a session bus and a display of its own, so that
# nothing reaches the desktop's and the keys of one never reach the other: the walks spend most
# of their time waiting for the window and the controller.
walk_both_languages() {
    local logs language status=0
    local -A walks=()
    logs=$(mktemp -d)
    for language in ja en; do
        QMX_A11Y_LANGUAGE=$language dbus-run-session -- bash "$0" "$program" \
            >"$logs/$language" 2>&1 &
        walks[$language]=$!
    done
    # Run by the trap, which shellcheck does not follow.
    # shellcheck disable=SC2317
    stop_walks() { kill "${walks[@]}" 2>/dev/null; }
    trap stop_walks EXIT
    for language in ja en; do
        wait "${walks[$language]}" || status=1
        grep -v 'Failed to set fd limit' "$logs/$language"
    done
    trap - EXIT
    rm -rf "$logs"
    [ $status -eq 0 ] && echo "ok: every page, the Edit menu, the change marks, Compare, the" \
        "Exit question, the Options dialog and the About box in both languages"
    return $status
}

if [ -z "${QMX_A11Y_LANGUAGE:-}" ]; then
    command -v Xvfb >/dev/null || skip "Xvfb (xvfb)"
    command -v dbus-run-session >/dev/null || skip "dbus-run-session (dbus)"
    [ -x "$launcher" ] || skip "$launcher (at-spi2-core)"
    command -v xdotool >/dev/null || skip "xdotool"
    /usr/bin/python3 -c 'import pyatspi' 2>/dev/null || skip "pyatspi (python3-pyatspi)"
    [ -x "$simulator" ] || skip "$simulator (the build's qmx-sim)"
    walk_both_languages
    exit
fi

language=$QMX_A11Y_LANGUAGE
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
# What the simulated controller holds: an origin offset and a run current (720 mA) that are not
# the factory ones.
printf 'N=1234\nCR=1500\n' >"$work/state.txt"
language_option=()
[ "$language" = en ] && language_option=(/L:E)
status=0
# With "/EXT" all five pages; without it the three that can be chosen, the EXTEND tabs
# reported unavailable.
for pages in 5 3; do
    options=("${language_option[@]}")
    [ "$pages" = 5 ] && options+=(/EXT)
    # A controller of its own for each run, on COM 1, as scripts/run.sh does; nothing is
    # stored, so the state file stays as it is.
    coproc SIM { exec "$simulator" --state "$work/state.txt" 2>/dev/null; }
    sim=$SIM_PID
    read -r pty <&"${SIM[0]}"
    echo "$language, $pages pages:" qmxconfig "${options[@]}"
    QMX_COM1="$pty" "$program" "${options[@]}" &
    app=$!
    /usr/bin/python3 "$here/accessibility-walk.py" "$language" --pages "$pages" \
        --state "$work/state.txt" || status=1
    kill "$app" "$sim" 2>/dev/null
    wait "$app" "$sim" 2>/dev/null
done
exit $status
