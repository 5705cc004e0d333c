#!/usr/bin/env bash
# The installer as a Windows user runs it, under Wine in a fresh prefix:
# installed silently, the installed ondril.exe started on Wine's COM1 (the
# balance simulator's pseudo-terminal), a single PRINT and a cycle print
# answered in the box, Save; then the silent uninstall, after which only the
# user's log may be left.
#   installer_under_wine.sh SETUP.EXE BALANCE-SIM
set -euo pipefail
setup=$(realpath "$1")
sim=$(realpath "$2")
. "$(dirname "$0")/../e2e/xsession.sh"
E2E_TMP=$(mktemp -d)
export WINEPREFIX="$E2E_TMP/prefix" WINEDEBUG=-all
wine=${WINE:-/usr/lib/wine/wine64}
winesrv=${WINESERVER:-/usr/lib/wine/wineserver}
EXTRA_PIDS=()
trap '"$winesrv" -k 2>/dev/null || true; cleanup' EXIT

start_display
start_sim "$sim" --verbose 2>"$E2E_TMP/sim.err"
"$wine" wineboot -i >/dev/null 2>&1
"$wine" reg add 'HKLM\Software\Wine\Ports' /v COM1 /d "$SIM_DEV" /f >/dev/null 2>&1
"$winesrv" -w

"$wine" "$setup" /S
"$winesrv" -w
drive=$WINEPREFIX/drive_c
installed="$drive/Program Files/Ondril"
[ -f "$installed/ondril.exe" ] || fail "the installer put no ondril.exe in C:\\Program Files\\Ondril"
[ -f "$installed/uninstall.exe" ] || fail "the installer left no uninstaller"
[ -n "$(find "$drive" -iname 'Ondril.lnk' -print -quit)" ] || fail "no Start menu entry"
"$wine" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Ondril' >/dev/null 2>&1 \
    || fail "no entry in Apps & features"

start_wine_ondril "$installed/ondril.exe"
sleep 1

# Save, and the log's text: where the installed program keeps it.
save_and_read() {
    click 112 400 97 33 # Save
    sleep 1
    local log
    log=$(find "$drive" -name Recdata0.txt -print -quit)
    [ -n "$log" ] && tr -d '\r' <"$log"
}
reply='^ +[-+] +[0-9]+\.[0-9]+ g$'

click 64 144 99 33 # PRINT, once, on a freshly opened port
text=""
for _ in $(seq 10); do
    sleep 0.5
    text=$(save_and_read || true)
    grep -Eq "$reply" <<<"$text" && break
done
[ "$(grep -Ec "$reply" <<<"$text")" -ge 1 ] || fail "no reply to a single PRINT in the log: $text"

click 112 352 97 33 # Clear, so that the next Save (New Data: replacing) holds the cycle's replies alone
click 64 80 123 41 # Cycle Print, at 1000 ms
sleep 3.5
click 64 80 123 41 # Stop
sleep 0.3
text=$(save_and_read || true)
cycled=$(grep -Ec "$reply" <<<"$text" || true)
[ "$cycled" -ge 2 ] || fail "a cycle print of 3.5 s at 1000 ms gave $cycled replies: $text"
log=$(find "$drive" -name Recdata0.txt -print -quit)

xdotool mousemove --window "$WIN" 20 10 click 1 # EXIT
wait_for_exit "$ONDRIL_PID" 20
ONDRIL_PID=
"$winesrv" -w

"$wine" "$installed/uninstall.exe" /S
"$winesrv" -w # the uninstaller runs on from a copy of itself
[ -f "$log" ] || fail "the uninstall removed the user's log $log"
left=$(find "$installed" -mindepth 1 ! -name Recdata0.txt 2>/dev/null || true)
[ -z "$left" ] || fail "the uninstall left: $left"
[ -z "$(find "$drive" -iname 'Ondril.lnk' -print -quit)" ] || fail "the Start menu entry is still there"
if "$wine" reg query 'HKLM\Software\Ondril' >/dev/null 2>&1; then fail "the uninstall left HKLM\\Software\\Ondril"; fi
echo "The installed ondril.exe answered PRINT and $cycled cycle ticks; the uninstall left the log ${log#"$drive"/} alone."
echo "2 passed, 0 failed"
