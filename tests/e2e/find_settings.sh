#!/usr/bin/env bash
# A balance at 1200 baud, 7 data bits, odd parity: PRINT at the start-up
# settings shows nothing readable. The operator picks Tools > Find the
# balance's settings, and PRINT then shows a clean reply.
. "$(dirname "$0")/xsession.sh"
start_display
start_sim "$2" --baud 1200 --framing 7O1 --paced
start_ondril "$1"

reply='^ +[-+] +[0-9]+\.[0-9]+ g$'

xdotool mousemove --window "$WIN" 68 10 click 1 # Tools
sleep 0.5
xdotool key f # Find the balance's settings
progress=$(find_window "Find the balance's settings") || fail "the scan did not start"
for _ in $(seq 100); do
    sleep 0.2
    xdotool search --onlyvisible --name "^Find the balance's settings\$" >/dev/null 2>&1 || break
done
sleep 0.5
[ -n "${E2E_SCREENSHOT:-}" ] && import -window root "${E2E_SCREENSHOT%.png}-found.png"
# The notice of what was found, read and closed by its OK at its lower right.
for notice in $(xdotool search --onlyvisible --name '^Ondril$' 2>/dev/null); do
    eval "$(xdotool getwindowgeometry --shell "$notice" | sed 's/^/N_/')"
    [ "$N_WIDTH" -lt 600 ] && xdotool mousemove --window "$notice" $(( N_WIDTH - 50 )) $(( N_HEIGHT - 22 )) click 1
done
sleep 0.3
click 64 144 99 33 # PRINT
for _ in $(seq 25); do
    text=$(receive_box)
    grep -Eq "$reply" <<<"$text" && break
    sleep 0.2
done
grep -Eq "$reply" <<<"$text" || fail "no readable reply after the scan; the box holds: $text"
[ -n "${E2E_SCREENSHOT:-}" ] && import -window root "$E2E_SCREENSHOT"

exit_through_menu
echo "1 passed, 0 failed"
