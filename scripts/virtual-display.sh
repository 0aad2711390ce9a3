# Sourced by the scripts that show the real window without a screen: needs $work (a folder)
# and the array pids (what to stop at the end).

# Starts Xvfb on a display it picks itself and exports DISPLAY; further arguments go to Xvfb.
start_virtual_display() {
    Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp "$@" 5>"$work/display" 2>/dev/null &
    pids+=($!)
    for _ in $(seq 100); do
        [ -s "$work/display" ] && break
        sleep 0.1
    done
    local display
    display=$(cat "$work/display")
    [ -n "$display" ] || return 1
    export DISPLAY=":$display"
}
