#!/usr/bin/env bash
# A port the user may not open (mode 600, someone else's) is skipped at
# start-up with its reason on standard error. Beside a usable port the window
# comes up on that one; alone, the start-up message ends the program with a
# non-zero status.
. "$(dirname "$0")/xsession.sh"
E2E_TMP=$(mktemp -d)
chmod 755 "$E2E_TMP"
# A copy the other user can reach, whatever the checkout's permissions are.
cp "$1" "$E2E_TMP/ondril"

start_display
start_sim "$2"
usable=$SIM_DEV
exec {other_out}< <(exec "$2")
EXTRA_PIDS+=($!)
read -r -t 30 forbidden <&"$other_out" || fail "the second simulator did not start"

if [ "$(id -u)" -eq 0 ]; then
    # Root opens anything: the program runs as nobody on root's terminals.
    chmod 600 "$forbidden"
    chmod 666 "$usable"
    as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups env HOME="$E2E_TMP")
else
    chmod 000 "$forbidden"
    as_user=()
fi
skipped="ondril: COM 1 skipped: $forbidden: Permission denied"

# Alone: one message, then a non-zero exit, and the window never shows.
ONDRIL_PORTS="$forbidden" "${as_user[@]}" "$E2E_TMP/ondril" 2>"$E2E_TMP/alone.err" &
ONDRIL_PID=$!
box=$(find_window Ondril) || true
[ -n "$box" ] || fail "no start-up message: $(cat "$E2E_TMP/alone.err")"
xdotool search --onlyvisible --name "^Brivon" >/dev/null && fail "the main window showed"
xdotool mousemove --window "$box" 5 5 key Return
wait_for_exit "$ONDRIL_PID" 20
ONDRIL_PID=
[ "$EXIT_STATUS" -ne 0 ] || fail "ended with status 0 without a port"
grep -qF "$skipped" "$E2E_TMP/alone.err" || fail "standard error: $(cat "$E2E_TMP/alone.err")"

# Beside a usable port: the window comes up on COM 2.
ONDRIL_PORTS="$forbidden:$usable" "${as_user[@]}" "$E2E_TMP/ondril" 2>"$E2E_TMP/beside.err" &
ONDRIL_PID=$!
WIN=$(find_window "Brivon Electronic Balance Communications Test") || true
[ -n "$WIN" ] || fail "the main window did not appear: $(cat "$E2E_TMP/beside.err")"
grep -qF "$skipped" "$E2E_TMP/beside.err" || fail "standard error: $(cat "$E2E_TMP/beside.err")"
exit_through_menu
echo "2 passed, 0 failed"
