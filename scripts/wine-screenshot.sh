#!/usr/bin/env bash
# ondril.exe under Wine on a private Xvfb display, its COM 1 Wine's COM1
# mapped to the balance simulator; PRINT pressed, then a screenshot:
#   scripts/wine-screenshot.sh OUT.png   (after scripts/windows.sh and a Linux build)
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:?usage: scripts/wine-screenshot.sh OUT.png}")
. tests/e2e/xsession.sh
E2E_TMP=$(mktemp -d)
export WINEPREFIX="$E2E_TMP/prefix" WINEDEBUG=-all
start_display
start_sim build/balance-sim --verbose 2>"$E2E_TMP/sim.err"
/usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
/usr/lib/wine/wine64 reg add 'HKLM\Software\Wine\Ports' /v COM1 /d "$SIM_DEV" /f >/dev/null 2>&1
/usr/lib/wine/wineserver -k 2>/dev/null || true
start_wine_ondril build-win/ondril.exe
sleep 2
click 64 144 99 33 # PRINT
sleep 3
import -window root "$out"
ps -eo pcpu,etime,args | grep -i "ondril.exe" | grep -v grep | head -3
echo "Screenshot: $out"
echo "The simulator says: $(cat "$E2E_TMP/sim.err")"
