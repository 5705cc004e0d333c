#!/bin/sh
# Runs a Windows test program under Wine, on the real Windows platform
# plugin drawing through Wine to a private Xvfb display, and shows what it
# printed (a console program's output does not reach the Unix side). The
# tests share a Wine prefix of their own beside them.
# (Qt's offscreen platform is no help here: Wine does not hand QT_QPA_PLATFORM
# on, and on Windows that platform finds no fonts and stalls.)
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x900x24 -nolisten tcp" "$0" "$@"
fi
exe=$1
shift
wine=${WINE:-/usr/lib/wine/wine64}
export WINEPREFIX="${WINEPREFIX:-$(dirname "$exe")/wineprefix}" WINEDEBUG=${WINEDEBUG:--all}
(
    flock 9
    [ -d "$WINEPREFIX/drive_c" ] || "$wine" wineboot -i >/dev/null 2>&1
) 9>"$(dirname "$exe")/wineprefix.lock"
out=$(mktemp)
"$wine" "$exe" -o "$(winepath -w "$out" 2>/dev/null || echo "$out")",txt "$@"
status=$?
cat "$out"
rm -f "$out"
exit $status
