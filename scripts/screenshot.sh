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
. "$here/scripts/stamped-replies.sh"
start_session "$here/build/ondril" "$here/build/balance-sim"
stamped_replies
xdotool mousemove --window "$WIN" 700 600 # the pointer out of the picture
import -window "$WIN" -frame "$out"
echo "$out"
exit_through_menu
