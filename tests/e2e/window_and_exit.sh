#!/usr/bin/env bash
# The real program in a real X window against the simulated balance: the window
# appears with its caption, and the EXIT menu ends the process with status 0.
ondril=$1
sim=$2
. "$(dirname "$0")/xsession.sh"

start_display
start_sim "$sim"
ONDRIL_PORTS="$SIM_DEV" "$ondril" &
ONDRIL_PID=$!

win=$(find_window "Brivon Electronic Balance Communications Test") || true
[ -n "$win" ] || fail "the main window did not appear"
eval "$(xdotool getwindowgeometry --shell "$win")"
[ "$WIDTH" -eq 708 ] || fail "window width $WIDTH, expected 708"
[ "$X" -eq $(( (SCREEN_WIDTH - WIDTH) / 2 )) ] || fail "window at x=$X, not centred"
[ -n "${E2E_SCREENSHOT:-}" ] && import -window root "$E2E_SCREENSHOT"

# EXIT is the menu bar's only item, at its left end.
xdotool mousemove --window "$win" 20 10 click 1
wait_for_exit "$ONDRIL_PID" 20
ONDRIL_PID=
[ "$EXIT_STATUS" -eq 0 ] || fail "ondril ended with status $EXIT_STATUS after EXIT"
echo "1 passed, 0 failed"
