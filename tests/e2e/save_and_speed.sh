#!/usr/bin/env bash
# A balance set to 2400 baud: the operator picks 2400 in the real speed box,
# presses PRINT and then Save. The log beside the program then holds the clean
# reply, its CR LF, and the CR LF that ends the saved block.
. "$(dirname "$0")/xsession.sh"
E2E_TMP=$(mktemp -d)
# The log goes to the program's own folder, so the program runs from a copy.
cp "$1" "$E2E_TMP/ondril"
log="$E2E_TMP/Recdata0.txt"

start_display
start_sim "$2" --baud 2400 --verbose 2>"$E2E_TMP/sim.err"
start_ondril "$E2E_TMP/ondril"

click 384 32 81 32 # Baud rate: the list opens on 600
sleep 0.5
xdotool key Down Down Return
sleep 0.5
click 64 144 99 33 # PRINT
# The dot keeps the command substitution from eating the line ends.
reply=$'^ +[-+] +[0-9]+\\.[0-9]+ g\r\n\r\n[.]$'
logged() { [ -f "$log" ] && [[ $(cat "$log"; echo .) =~ $reply ]]; }
for _ in $(seq 25); do
    sleep 0.2
    click 112 400 97 33 # Save; with the box still empty it writes nothing
    logged && break
done
[ -f "$log" ] || fail "Save wrote no log file"
logged || fail "the log holds: $(od -c "$log" | head -5)"
grep -q "at 2400 baud 8N1 (port 2400 8N1)" "$E2E_TMP/sim.err" \
    || fail "the line did not run at 2400 baud: $(cat "$E2E_TMP/sim.err")"

exit_through_menu
echo "2 passed, 0 failed"
