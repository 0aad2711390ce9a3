# shellcheck shell=bash
# Sourced by the scripts that show the real window without a screen: needs $work (a folder)
# and the array pids (what to stop at the end).

# Starts Xvfb on a display it picks itself and exports DISPLAY; further arguments go to Xvfb.
start_virtual_display() {
    local file="${work:?start_virtual_display needs a folder in \$work}/display" display
    Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp "$@" 5>"$file" 2>/dev/null &
    pids+=($!)
    for _ in $(seq 100); do
        [ -s "$file" ] && break
        sleep 0.1
    done
    display=$(cat "$file")
    [ -n "$display" ] || return 1
    export DISPLAY=":$display"
}
