#!/usr/bin/env bash
# A weekend soak in a minute: a cycle print at 1000 ms against a balance that
# leaves every fifth PRINT unanswered. The cycle runs on to the end, the
# button still reads Stop, and every PRINT the balance answered is in the box.
. "$(dirname "$0")/xsession.sh"
E2E_TMP=$(mktemp -d)
start_display
start_sim "$2" --drop 5 --verbose 2>"$E2E_TMP/sim.err"
start_ondril "$1"

click 64 80 123 41 # Cycle Print, at 1000 ms
sleep "${SOAK_SECONDS:-60}"
text=$(receive_box)
heard=$(grep -c "command ESC p" "$E2E_TMP/sim.err" || true)
answered=$(grep -c "reply" "$E2E_TMP/sim.err" || true)
lines=$(grep -Ec '^ +[-+] +[0-9]+\.[0-9]+ g$' <<<"$text" || true)
echo "in ${SOAK_SECONDS:-60} s: $heard PRINTs heard, $answered answered, $lines replies in the box"
# Four replies, a two-second give-up: about 4 of every 6 seconds answered.
[ "$heard" -ge $(( ${SOAK_SECONDS:-60} * 5 / 7 )) ] || fail "the cycle stalled: only $heard PRINTs in ${SOAK_SECONDS:-60} s"
[ $(( heard - answered )) -ge $(( heard / 5 - 1 )) ] || fail "the balance dropped fewer than every fifth PRINT"
[ $(( answered - lines )) -le 1 ] || fail "$answered replies sent, $lines in the box: $text"
click 64 80 123 41 # Stop
exit_through_menu
echo "3 passed, 0 failed"
