#!/usr/bin/env bash
# A balance that streams, its lines cut across reads as an adapter hands
# them over: with "Keep every line" chosen by keys, every line it sent between
# Clear and Save is in the saved log, whole.
. "$(dirname "$0")/xsession.sh"
E2E_TMP=$(mktemp -d)
cp "$1" "$E2E_TMP/ondril" # the log goes beside the program
log="$E2E_TMP/Recdata0.txt"
export XDG_CONFIG_HOME="$E2E_TMP/config" # the choice starts off, as in a first run
sent="$E2E_TMP/sim.log"
start_display
# Two lines every 20 ms, in pieces of 25 bytes: each write ends inside a line.
start_sim "$2" --stream 20 --stream-lines 2 --chunk 25 --chunk-gap 2 --verbose 2>"$sent"
start_ondril "$E2E_TMP/ondril"

click 112 352 97 33 # Clear: gives the window the keys
xdotool key alt+t
sleep 0.5
xdotool key e # Keep every line
sleep 0.5
# The writes counted from before Clear to after Save: the log holds at most
# these lines, and all but those of the clicks' own moments.
before=$(grep -c 'reply 36 bytes' "$sent" || true)
click 112 352 97 33 # Clear
sleep 4
click 112 400 97 33 # Save
after=$(grep -c 'reply 36 bytes' "$sent" || true)
sleep 0.5
[ -f "$log" ] || fail "Save wrote no log"
lines=$(tr -d '\r' <"$log" | grep -c . || true)
whole=$(tr -d '\r' <"$log" | grep -Ec '^ +[-+] +[0-9]+\.[0-9]+ g$' || true)
expected=$(( 2 * (after - before) ))
echo "$lines lines saved, $whole whole, $expected sent from before Clear to after Save"
[ "$whole" -eq "$lines" ] || fail "lines that were never sent: $(cat -A "$log" | grep -Ev '^ +[-+] +[0-9]+\.[0-9]+ g\^M\$$' | head -5)"
# Lost lines would be half of them (the second line of every write); the
# clicks may take a few tenths of a second between them.
[ "$lines" -ge $(( expected * 4 / 5 )) ] || fail "lines lost: $lines of $expected"
[ "$lines" -le $(( expected + 2 )) ] || fail "more lines than were sent: $lines of $expected"
exit_through_menu
echo "1 passed, 0 failed"
