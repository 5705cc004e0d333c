#!/usr/bin/env bash
# The balance's adapter pulled out and plugged in again, in the real window:
# the simulator ends (its terminal and link go), the loss is told once, and
# when a simulator is back on the same link Ondril opens it by itself, so
# that the next PRINT simply works.
. "$(dirname "$0")/xsession.sh"
E2E_TMP=$(mktemp -d)
link="$E2E_TMP/ttyBalance"
start_display
start_sim "$2" --link "$link"
SIM_DEV=$link start_ondril "$1"

kill "$SIM_PID" && wait "$SIM_PID" 2>/dev/null || true
SIM_PID=
box=$(find_window Ondril) || true
[ -n "$box" ] || fail "the loss was not told"
xdotool mousemove --window "$box" 5 5 key Return

start_sim "$2" --link "$link"
sleep 1
click 64 144 99 33 # PRINT, with no pick in between
reply='^ +[-+] +[0-9]+\.[0-9]+ g$'
for _ in $(seq 25); do
    click 296 248 369 321
    xdotool key --clearmodifiers ctrl+a ctrl+c
    sleep 0.2
    text=$(xclip -o -selection clipboard 2>/dev/null || true)
    grep -Eq "$reply" <<<"$text" && break
done
grep -Eq "$reply" <<<"$text" || fail "no reply after the adapter came back; the box holds: $text"
xdotool search --onlyvisible --name "^Ondril$" >/dev/null && fail "a message box is up"

exit_through_menu
echo "2 passed, 0 failed"
