#!/usr/bin/env bash
# A balance that streams two lines per write, as a USB adapter hands over
# lines sent back to back: with Time checked, every line of the saved log
# starts with its stamp.
. "$(dirname "$0")/xsession.sh"
E2E_TMP=$(mktemp -d)
cp "$1" "$E2E_TMP/ondril" # the log goes beside the program
log="$E2E_TMP/Recdata0.txt"
start_display
start_sim "$2" --stream 500 --stream-lines 2
start_ondril "$E2E_TMP/ondril"

click 112 288 16 25 # Time, on its box
sleep 0.3
click 112 352 97 33 # Clear what came before
sleep 4
click 112 400 97 33 # Save
sleep 0.5
[ -f "$log" ] || fail "Save wrote no log"
lines=$(tr -d '\r' <"$log" | grep -c . || true)
stamped=$(tr -d '\r' <"$log" | grep -Ec '^[0-9]{2}:[0-9]{2}:[0-9]{2} +[-+] +[0-9]+\.[0-9]+ g$' || true)
echo "$stamped of $lines lines stamped"
[ "$lines" -ge 8 ] || fail "only $lines lines in 4 s of a stream of 4 a second"
[ "$stamped" -eq "$lines" ] || fail "lines without their stamp: $(cat -A "$log" | head -20)"
exit_through_menu
echo "2 passed, 0 failed"
