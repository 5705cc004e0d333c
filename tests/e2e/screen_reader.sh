#!/usr/bin/env bash
# A blind operator's run, as a screen reader sees it over AT-SPI: a few
# PRINTs, the Readings window opened by keys alone, a figure read from its
# table and the trend's description, and a name for every control.
if [ -z "${ONDRIL_E2E_BUS:-}" ]; then
    # A session bus of its own, on which the accessibility bus starts, with
    # its socket in a folder of its own: not another run's.
    XDG_RUNTIME_DIR=$(mktemp -d)
    export XDG_RUNTIME_DIR
    ONDRIL_E2E_BUS=1 exec dbus-run-session -- "$0" "$@"
fi
. "$(dirname "$0")/xsession.sh"
E2E_TMP=$XDG_RUNTIME_DIR # made above: removed at the end
start_display
dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress >/dev/null ||
    fail "no accessibility bus"
start_sim "$2"
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
start_ondril "$1"

for _ in 1 2 3; do
    click 64 144 99 33 # PRINT
    sleep 0.4
done
xdotool key alt+t
sleep 0.5
xdotool key r # Readings window…
/usr/bin/python3 "$(dirname "$0")/screen_reader.py" || fail "the screen reader's view"
exit_through_menu
echo "1 passed, 0 failed"
