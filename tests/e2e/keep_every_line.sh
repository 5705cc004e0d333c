#!/usr/bin/env bash
# A balance that streams, its lines cut across reads as an adapter hands
# them over: with "Keep every line" chosen by keys, every line it sent between
# Clear and Save is in the saved log, whole. Its lines weigh 1 g, 2 g, 3 g ...,
# so a lost line is a gap. E2E_SECONDS (default 4) between Clear and Save,
# E2E_STREAM_MS (default 20) between writes of two lines: 38 is 9600 baud
# flat out.
. "$(dirname "$0")/xsession.sh"
E2E_TMP=$(mktemp -d)
cp "$1" "$E2E_TMP/ondril" # the log goes beside the program
log="$E2E_TMP/Recdata0.txt"
export XDG_CONFIG_HOME="$E2E_TMP/config" # the choice starts off, as in a first run
sent="$E2E_TMP/sim.log"
start_display
# Two lines every 20 ms, in pieces of 25 bytes: each write ends inside a line.
start_sim "$2" --stream "${E2E_STREAM_MS:-20}" --stream-lines 2 --numbered --chunk 25 --chunk-gap 2 --verbose 2>"$sent"
start_ondril "$E2E_TMP/ondril"

click 112 352 97 33 # Clear: gives the window the keys
xdotool key alt+t
sleep 0.5
xdotool key e # Keep every line
sleep 0.5
# The writes counted from before Clear to after Save: the log holds at most
# these lines, and all but those of the clicks' own moments.
before=$(grep -c 'reply ' "$sent" || true)
click 112 352 97 33 # Clear
sleep "${E2E_SECONDS:-4}"
click 112 400 97 33 # Save
after=$(grep -c 'reply ' "$sent" || true)
sleep 0.5
[ -f "$log" ] || fail "Save wrote no log"
lines=$(tr -d '\r' <"$log" | grep -c . || true)
whole=$(tr -d '\r' <"$log" | grep -Ec '^ +[-+] *[0-9]+\.[0-9]+ g$' || true)
expected=$(( 2 * (after - before) ))
gaps=$(tr -d '\r' <"$log" | awk 'NF == 0 { next } { v = $0; gsub(/[^0-9.]/, "", v); v += 0 }
    !started { n = v; started = 1 } v != n { if (shown++ < 5) print n " to " v; n = v } { n++ }')
echo "$lines lines saved, $whole whole, $expected sent from before Clear to after Save, gaps: ${gaps:-none}"
[ "$whole" -eq "$lines" ] || fail "lines that were never sent: $(cat -A "$log" | grep -Ev '^ +[-+] *[0-9]+\.[0-9]+ g\^M\$$' | head -5)"
[ -z "$gaps" ] || fail "lines lost between Clear and Save: $gaps"
# Lost lines would be half of them (the second line of every write); the
# clicks may take a few tenths of a second between them.
[ "$lines" -ge $(( expected * 4 / 5 )) ] || fail "lines lost: $lines of $expected"
[ "$lines" -le $(( expected + 2 )) ] || fail "more lines than were sent: $lines of $expected"
exit_through_menu
echo "1 passed, 0 failed"
