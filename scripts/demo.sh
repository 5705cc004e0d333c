#!/usr/bin/env bash
# Installs what is missing, builds, and starts Ondril wired to the simulated
# balance. Extra arguments go to the simulator (see build/balance-sim --help).
# The simulator stops when the window closes.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake -S . -B build >/dev/null
cmake --build build -j"$(nproc)"

pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
}
trap cleanup EXIT

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    exec {xvfb_out}< <(exec Xvfb -displayfd 1 -screen 0 1280x900x24 -nolisten tcp 2>/dev/null)
    pids+=("$!")
    read -r num <&"$xvfb_out"
    export DISPLAY=":$num"
    echo "No display here: Ondril runs on the virtual display $DISPLAY."
    echo "  See it:  DISPLAY=$DISPLAY import -window root shot.png"
fi

exec {sim_out}< <(exec build/balance-sim "$@")
pids+=("$!")
read -r device <&"$sim_out" || { echo "The balance simulator did not start." >&2; exit 1; }
echo "Simulated balance on $device (COM 1). Close the window or pick EXIT to end."

status=0
ONDRIL_PORTS="$device" build/ondril || status=$?
exit "$status"
