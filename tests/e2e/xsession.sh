# Shared by the end-to-end scripts: a private X display, the balance simulator,
# and clean-up of both whatever happens. Source it; it sets DISPLAY and SIM_DEV.
set -euo pipefail

cleanup() {
    local pids=()
    for pid in "${ONDRIL_PID:-}" "${SIM_PID:-}" "${EXTRA_PIDS[@]}" "${XVFB_PID:-}"; do
        [ -n "$pid" ] && kill "$pid" 2>/dev/null && pids+=("$pid")
    done
    # Only our own children: a bare `wait` trips over the process substitutions.
    [ ${#pids[@]} -eq 0 ] || wait "${pids[@]}" 2>/dev/null || true
    [ -z "${E2E_TMP:-}" ] || rm -rf "$E2E_TMP"
}
trap cleanup EXIT
EXTRA_PIDS=() # more children for cleanup to end

SCREEN_WIDTH=1280

fail() { echo "FAIL: $*" >&2; exit 1; }

start_display() {
    # -displayfd picks a free display and writes its number once it is ready.
    exec {xvfb_out}< <(exec Xvfb -displayfd 1 -screen 0 "${SCREEN_WIDTH}x900x24" -nolisten tcp 2>/dev/null)
    XVFB_PID=$!
    read -r -t 30 num <&"$xvfb_out" || fail "Xvfb did not start"
    export DISPLAY=":$num"
}

start_sim() {
    exec {sim_out}< <(exec "$@")
    SIM_PID=$!
    read -r -t 30 SIM_DEV <&"$sim_out" || fail "the balance simulator did not start"
    export SIM_DEV
}

# Starts ondril on the simulator's terminal and leaves its main window's id in
# WIN and the height of its menu bar (above the 611 px client area) in MENU.
start_ondril() {
    ONDRIL_PORTS="$SIM_DEV" "$1" &
    ONDRIL_PID=$!
    WIN=$(find_window "Brivon Electronic Balance Communications Test") || true
    [ -n "$WIN" ] || fail "the main window did not appear"
    eval "$(xdotool getwindowgeometry --shell "$WIN")"
    MENU=$(( HEIGHT - 611 ))
}

# ondril.exe ($1) under Wine on Wine's COM1, leaving its window in WIN and the
# height of its menu bar in MENU, as start_ondril does.
start_wine_ondril() {
    local wine=${WINE:-/usr/lib/wine/wine64}
    # A new prefix draws its first program's text only once its fonts are in
    # place: a first start, ended, sees to that.
    ONDRIL_PORTS=: timeout 20 "$wine" "$1" >/dev/null 2>&1 || true
    ONDRIL_PORTS=COM1 "$wine" "$1" >/dev/null 2>&1 &
    ONDRIL_PID=$!
    WIN=$(find_window "Brivon Electronic Balance Communications Test" 60) || true
    [ -n "$WIN" ] || fail "$1 showed no window under Wine"
    eval "$(xdotool getwindowgeometry --shell "$WIN")"
    MENU=$(( HEIGHT - 611 ))
}

# Clicks the middle of a control given by its client-area rectangle: X Y W H.
click() { xdotool mousemove --window "$WIN" $(( $1 + $3 / 2 )) $(( MENU + $2 + $4 / 2 )) click 1; }

# The receive box's text, copied as an operator would copy it.
receive_box() {
    click 296 248 369 321
    xdotool key --clearmodifiers ctrl+a ctrl+c
    sleep 0.2
    xclip -o -selection clipboard 2>/dev/null || true
}

# A display, the simulator, and ondril on it: start_session ONDRIL SIM.
start_session() {
    start_display
    start_sim "$2"
    start_ondril "$1"
}

# EXIT, the menu bar's only item at its left end, must end ondril with status 0.
exit_through_menu() {
    xdotool mousemove --window "$WIN" 20 10 click 1
    wait_for_exit "$ONDRIL_PID" 20
    ONDRIL_PID=
    [ "$EXIT_STATUS" -eq 0 ] || fail "ondril ended with status $EXIT_STATUS after EXIT"
}

# The id of the visible window with exactly this caption, waiting for it to
# appear (at most $2 seconds, 30 unless told).
find_window() {
    timeout "${2:-30}" xdotool search --sync --onlyvisible --name "^$1\$" | head -n 1
}

# Waits for a background child to end, at most $2 seconds, and leaves its exit
# status in EXIT_STATUS. The watchdog takes its sleep down with it when told to.
wait_for_exit() {
    local pid=$1 limit=$2
    (
        trap 'kill "$nap" 2>/dev/null; exit 0' TERM
        sleep "$limit" & nap=$!
        wait "$nap" && kill "$pid" 2>/dev/null
    ) >/dev/null 2>&1 &
    local watchdog=$!
    EXIT_STATUS=0
    wait "$pid" || EXIT_STATUS=$?
    kill "$watchdog" 2>/dev/null || true
    wait "$watchdog" 2>/dev/null || true
}
