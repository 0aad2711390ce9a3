#!/usr/bin/env bash
# Takes the pictures of docs/ from the built program: each page of the main window, connected
# to the simulated controller, the first page again after LOAD with two values changed and
# marked, the Options dialog and the About box, in Japanese and in English, on a virtual
# display. Installs what is missing and builds first, like run.sh.
#   scripts/take-pictures.sh [OUT_DIR]        (default: docs/)
# Re-running it takes them again from the same simulated controller; only the date and time
# in the status bar change.
out=$(realpath -m "${1:-$(dirname "${BASH_SOURCE[0]}")/../docs}")
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
source "$ROOT/scripts/virtual-display.sh"

if [ -z "${QMX_PICTURES_SESSION:-}" ]; then
    PACKAGES+=(pngquant)
    install_missing
    configure_and_build default
    mkdir -p "$out"
    QMX_PICTURES_SESSION=1 exec dbus-run-session -- bash "$ROOT/scripts/take-pictures.sh" "$out"
fi

work=$(mktemp -d)
pids=()
finish() {
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap finish EXIT

# Settings of their own: the window opens at its default place and size.
export HOME=$work XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/run LANG=C.UTF-8
mkdir -m 700 "$XDG_RUNTIME_DIR"
mkdir "$work/screen"

start_virtual_display -fbdir "$work/screen" || { echo "Xvfb did not start" >&2; exit 1; }
/usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 &
pids+=($!)
export QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1

for language in ja en; do
    # A fresh simulated controller for each language, on COM 1, as scripts/run.sh does.
    coproc SIM { exec "$BUILD/qmx-sim" --state "$work/sim-$language.txt" 2>/dev/null; }
    pids+=("$SIM_PID")
    read -r pty <&"${SIM[0]}"
    options=(/EXT)
    [ "$language" = en ] && options=(/L:E /EXT)
    QMX_COM1="$pty" "$BUILD/qmxconfig" "${options[@]}" &
    app=$!
    pids+=("$app")
    echo "Pictures in $language:"
    /usr/bin/python3 "$ROOT/scripts/window-pictures.py" "$language" "$work/screen/Xvfb_screen0" "$out"
    kill "$app" "$SIM_PID" 2>/dev/null || true
    wait "$app" "$SIM_PID" 2>/dev/null || true
done

# Fewer colours keep the pictures small; they look the same.
if command -v pngquant >/dev/null; then
    pngquant --force --skip-if-larger --strip --ext .png 64 "$out"/*.png || true
fi
du -ch "$out"/*.png | tail -n 1
