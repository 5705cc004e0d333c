#!/bin/sh
# Wine's serial layer carrying QSerialPort: the balance simulator on a
# pseudo-terminal, Wine's COM5 mapped to it (HKLM\Software\Wine\Ports), and
# tst_wineserial.exe opening it twice, at 9600 baud, with a PRINT each time.
# The simulator must have heard both PRINTs at 9600 baud 8N1.
set -eu
exe=$1
sim=$2
wine=${WINE:-/usr/lib/wine/wine64}
work=$(mktemp -d)
trap 'kill $simpid 2>/dev/null; rm -rf "$work"' EXIT
"$sim" --baud 9600 --verbose >"$work/path" 2>"$work/sim.err" &
simpid=$!
for _ in 1 2 3 4 5 6 7 8 9 10; do [ -s "$work/path" ] && break; sleep 0.2; done
device=$(head -n 1 "$work/path")
export WINEPREFIX="$work/prefix" WINEDEBUG=-all
"$wine" wineboot -i >/dev/null 2>&1
"$wine" reg add 'HKLM\Software\Wine\Ports' /v COM5 /d "$device" /f >/dev/null 2>&1
"${WINESERVER:-/usr/lib/wine/wineserver}" -k 2>/dev/null || true # the ports are read when Wine starts
status=0
ONDRIL_PORTS=COM5 "$(dirname "$0")/under_wine.sh" "$exe" || status=$?
heard=$(grep -c "reply 18 bytes at 9600 baud 8N1 (port 9600 8N1)" "$work/sim.err" || true)
echo "The simulator heard $heard PRINTs at 9600 baud 8N1 through Wine's COM5."
[ "$heard" -eq 2 ] || { cat "$work/sim.err"; exit 1; }
exit $status
