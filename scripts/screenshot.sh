#!/usr/bin/env bash
# Takes the README's picture of the real window: Ondril on a private Xvfb
# display against the simulator, after a few stamped replies.
#   scripts/screenshot.sh [output.png]   (default doc/ondril-window.png)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:-$here/doc/ondril-window.png}")
bash "$here/scripts/setup.sh"
cmake -S "$here" -B "$here/build" >/dev/null
cmake --build "$here/build" -j"$(nproc)" --target ondril balance-sim >/dev/null

. "$here/tests/e2e/xsession.sh"
start_session "$here/build/ondril" "$here/build/balance-sim"
click 112 288 16 25 # Time
click 112 320 16 25 # Date
for _ in 1 2 3; do click 64 144 99 33; sleep 0.6; done # PRINT
click 544 144 99 33 # TARE
sleep 0.6
for _ in 1 2; do click 64 144 99 33; sleep 0.6; done
click 424 144 99 33 # UNIT
sleep 0.6
click 64 144 99 33
sleep 0.8
xdotool mousemove --window "$WIN" 700 600 # the pointer out of the picture
import -window "$WIN" -frame "$out"
echo "$out"
exit_through_menu
