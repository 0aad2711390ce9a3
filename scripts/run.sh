#!/usr/bin/env bash
# Installs what is missing, builds build/ (the presets "default"), and starts the program.
#   scripts/run.sh [program options]                    against the simulated controller
#   scripts/run.sh --device /dev/ttyUSB0 [options]      against a real controller on COM 1
device=""
if [ "${1:-}" = "--device" ]; then
    device="${2:?--device needs a path}"
    # Sourcing common.sh moves to the top of the tree.
    [[ "$device" = /* ]] || device="$PWD/$device"
    shift 2
fi
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

install_missing
configure_and_build default

if [ -n "$device" ]; then
    QMX_COM1="$device" exec "$BUILD/qmxconfig" "$@"
fi

# Serve a simulated controller on a pseudo-terminal and map COM 1 to it.
state_dir="${XDG_STATE_HOME:-$HOME/.local/state}/qmxconfig"
mkdir -p "$state_dir"
coproc SIM { exec "$BUILD/qmx-sim" --state "$state_dir/sim-state.txt" --log "$state_dir/sim.log"; }
trap 'kill "$SIM_PID" 2>/dev/null || true' EXIT
read -r pty <&"${SIM[0]}"
echo "Simulated QMX-001 on $pty (COM 1); its command log: $state_dir/sim.log"
QMX_COM1="$pty" "$BUILD/qmxconfig" "$@"
