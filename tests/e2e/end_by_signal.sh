#!/usr/bin/env bash
# A logout or `kill` ends Ondril as EXIT does, even while a message box waits
# for its OK: status 0, and the port's lock file is gone.
. "$(dirname "$0")/xsession.sh"
start_session "$1" "$2"
# Qt keeps the lock in the first writable one of the usual lock folders.
for dir in /var/lock /etc/locks /var/spool/locks /var/spool/uucp /tmp /var/tmp /var/lock/lockdev /run/lock; do
    [ -d "$dir" ] && [ -w "$dir" ] && break
done
name=${SIM_DEV#/dev/}
lock=$dir/LCK..${name//\//_}
[ -f "$lock" ] || fail "no lock file $lock while the port is open"

click 128 32 97 32 # Port
xdotool key Down  # COM 2, which does not exist
[ -n "$(find_window Ondril)" ] || fail "no message for COM 2"

kill -TERM "$ONDRIL_PID"
wait_for_exit "$ONDRIL_PID" 20
ONDRIL_PID=
[ "$EXIT_STATUS" -eq 0 ] || fail "ended with status $EXIT_STATUS after SIGTERM"
[ ! -e "$lock" ] || fail "the lock file $lock was left behind"
echo "1 passed, 0 failed"
