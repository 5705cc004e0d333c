#!/usr/bin/env bash
# An operator's first minute, in the real window against the simulated balance:
# PRINT shows a reply line, and a cycle print at 1000 ms (stamped with date and
# time) shows about one reply a second. The receive box is read back through
# the clipboard, as an operator would copy it.
. "$(dirname "$0")/xsession.sh"
start_session "$1" "$2"

reply='^ +[-+] +[0-9]+\.[0-9]+ g$'

click 64 144 99 33 # PRINT
for _ in $(seq 25); do
    text=$(receive_box)
    grep -Eq "$reply" <<<"$text" && break
    sleep 0.2
done
grep -Eq "$reply" <<<"$text" || fail "no reply line after PRINT; the box holds: $text"
[ "$(grep -c . <<<"$text")" -eq 1 ] || fail "PRINT gave more than one line: $text"

click 112 288 16 25 # Time, on its box
click 112 320 16 25 # Date
click 64 80 123 41   # Cycle Print
sleep 5.5
click 64 80 123 41   # Stop
sleep 0.5
text=$(receive_box)
stamped=$(grep -Ec '^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} +[-+] +[0-9.]+ g$' <<<"$text" || true)
[ "$stamped" -ge 4 ] && [ "$stamped" -le 6 ] \
    || fail "$stamped stamped replies in 5.5 s of cycle print at 1000 ms: $text"
[ -n "${E2E_SCREENSHOT:-}" ] && import -window root "$E2E_SCREENSHOT"

exit_through_menu
echo "2 passed, 0 failed"
