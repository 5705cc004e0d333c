#!/usr/bin/env bash
# The real program in a real X window against the simulated balance: the window
# appears with its caption, and the EXIT menu ends the process with status 0.
. "$(dirname "$0")/xsession.sh"
start_session "$1" "$2"
[ "$WIDTH" -eq 708 ] || fail "window width $WIDTH, expected 708"
[ "$X" -eq $(( (SCREEN_WIDTH - WIDTH) / 2 )) ] || fail "window at x=$X, not centred"
[ -n "${E2E_SCREENSHOT:-}" ] && import -window root "$E2E_SCREENSHOT"

exit_through_menu
echo "1 passed, 0 failed"
