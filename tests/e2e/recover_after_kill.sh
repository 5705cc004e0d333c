#!/usr/bin/env bash
# Ondril killed mid-stream: the next run offers the lines under Tools, and
# Recover puts them first in the receive box, exactly once.
. "$(dirname "$0")/xsession.sh"
E2E_TMP=$(mktemp -d)
export XDG_STATE_HOME="$E2E_TMP/state" XDG_CONFIG_HOME="$E2E_TMP/config"
journal="$XDG_STATE_HOME/ondril/journal"
start_display
start_sim "$2" --stream 200
start_ondril "$1"
sleep 3
kill -KILL "$ONDRIL_PID"
wait "$ONDRIL_PID" 2>/dev/null || true
ONDRIL_PID=
text=$(ls "$journal"/*.txt)
kept=$(grep -c . "$text" || true)
[ "$kept" -ge 5 ] || fail "only $kept lines in the journal after 3 s of a stream of 5 a second"

start_ondril "$1"
sleep 1 # the journals are looked at in the background once the window is up
xdotool mousemove --window "$WIN" 68 10 click 1 # Tools
sleep 0.5
xdotool key Down Down Down Return # Readings window, Keep a journal, Recover
killed=$(tr -d '\r' <"$text")
for _ in $(seq 25); do # a copy of the box may come back empty while the clipboard changes hands
    sleep 0.2
    box=$(receive_box | tr -d '\r')
    [ "$(head -n "$kept" <<<"$box")" = "$killed" ] && break
done
[ -n "${E2E_SCREENSHOT:-}" ] && import -window root "$E2E_SCREENSHOT"
[ "$(head -n "$kept" <<<"$box")" = "$killed" ] || fail "the box does not start with the killed run's lines: $(head -n 3 <<<"$box")"
[ "$(tail -n +$((kept + 1)) <<<"$box" | head -n "$kept")" != "$killed" ] || fail "the killed run's lines came back twice"
grep -q '^recovered ' "${text%.txt}.run" || fail "the journal was not marked as recovered"
exit_through_menu
echo "1 passed, 0 failed"
