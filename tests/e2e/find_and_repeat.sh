#!/usr/bin/env bash
# An operator who knows nothing of the balance: it is asked with a command
# word and CR LF at 1200 baud, 7O1, and hears nothing sent otherwise. One scan
# finds it; the Send window opens on that command set; its first button, then
# Repeat every 500 ms, brings its readings into the receive box.
. "$(dirname "$0")/xsession.sh"
start_display
start_sim "$2" --commands word-crlf --baud 1200 --framing 7O1 --strict --paced
start_ondril "$1"

xdotool mousemove --window "$WIN" 68 10 click 1 # Tools
sleep 0.5
xdotool key f # Find the balance's settings
find_window "Find the balance's settings" >/dev/null || fail "the scan did not start"
for _ in $(seq 100); do
    sleep 0.2
    xdotool search --onlyvisible --name "^Find the balance's settings\$" >/dev/null 2>&1 || break
done
sleep 0.5
for notice in $(xdotool search --onlyvisible --name '^Ondril$' 2>/dev/null); do
    eval "$(xdotool getwindowgeometry --shell "$notice" | sed 's/^/N_/')"
    [ "$N_WIDTH" -lt 700 ] && xdotool mousemove --window "$notice" $(( N_WIDTH - 50 )) $(( N_HEIGHT - 22 )) click 1
done
sleep 0.3

click 112 352 97 33 # Clear: gives the window the keys
xdotool key alt+t
sleep 0.5
xdotool key n # Send commands
send=$(find_window "Ondril: Send commands") || fail "the Send window did not open"
xdotool mousemove --window "$send" 5 5 click 1 # its keys
sleep 0.3
# Focus opens on the command set; Tab reaches its first button.
xdotool key Tab space
sleep 0.5
xdotool key alt+r ctrl+a
xdotool type 500
xdotool key Tab space # Start
sleep 4
[ -n "${E2E_SCREENSHOT:-}" ] && import -window root "$E2E_SCREENSHOT"
xdotool key space # Stop
text=$(receive_box)
replies=$(grep -Ec '^S S +[0-9]+\.[0-9]+ g' <<<"$text" || true)
echo "$replies readings in the receive box after 4 s of repeating"
[ "$replies" -ge 6 ] || fail "too few readings; the box holds: $text"
exit_through_menu
echo "1 passed, 0 failed"
