#!/usr/bin/env bash
# The Link window on a pseudo-terminal whose control lines and counts come
# from the preloaded double ($ONDRIL_SHIM): the simulator, as a loopback plug, drops and
# raises its lines and sends a break; the window logs each change in order;
# the self-test ends in its table, every wire and speed working.
. "$(dirname "$0")/xsession.sh"
E2E_TMP=$(mktemp -d)
export ONDRIL_LINE_FILE=$E2E_TMP/lines
start_display
start_sim "$2" --loopback --paced --lines "$ONDRIL_LINE_FILE"
export LD_PRELOAD=$ONDRIL_SHIM
start_ondril "$1"
unset LD_PRELOAD

xdotool mousemove --window "$WIN" 68 10 click 1 # Tools
sleep 0.5
xdotool key Up Return # Link check, the last item
link=$(find_window "Link check") || fail "the Link window did not open"
sleep 0.5
kill -USR1 "$SIM_PID"; sleep 0.3 # the far end drops its lines
kill -USR1 "$SIM_PID"; sleep 0.3 # and raises them
kill -USR2 "$SIM_PID"; sleep 0.3 # a break

xdotool mousemove --window "$link" 5 5 click 1 # its keys
xdotool key alt+s # Run the self-test
changes() {
    xdotool mousemove --window "$link" 5 5 click 1
    xdotool key alt+c ctrl+a ctrl+c
    sleep 0.2
    xclip -o -selection clipboard 2>/dev/null || true
}
log=
for _ in $(seq 30); do
    sleep 1
    log=$(changes)
    grep -q 'Self-test:' <<<"$log" && break
done
xdotool mousemove --window "$link" 250 560 click 1 # the copy's selection off, for the picture
sleep 0.3
[ -n "${E2E_SCREENSHOT:-}" ] && import -window "$link" "$E2E_SCREENSHOT"
echo "$log"

# The far end's changes, in the order they came.
order=$(grep -Eo '(CTS|DSR|DCD) (low|high)' <<<"$log" | head -6 | tr '\n' ' ')
[ "$order" = "CTS low DSR low DCD low CTS high DSR high DCD high " ] || fail "changes out of order: $order"
grep -q 'Self-test: port and adapter carry data at every speed; RTS→CTS works; DTR→DSR/DCD works' <<<"$log" \
    || fail "no verdict of a good plug"
ms() { echo $(( $(date -d "$1" +%s%N) / 1000000 )); }
started=$(grep -o '^[0-9:.]*  Self-test started' <<<"$log" | cut -d' ' -f1)
ended=$(grep -o '^[0-9:.]*  Self-test:' <<<"$log" | cut -d' ' -f1)
echo "the self-test took $(( $(ms "$ended") - $(ms "$started") )) ms"
exit_through_menu
echo "1 passed, 0 failed"
