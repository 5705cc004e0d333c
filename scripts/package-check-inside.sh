#!/usr/bin/env bash
# Runs inside the fresh Debian of package-check.sh.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
fail() { echo "FAIL: $*" >&2; exit 1; }

apt-get update -qq
# Only the package and what it depends on, plus an X server to show it on.
apt-get install -y -qq --no-install-recommends /tmp/ondril.deb >/tmp/apt.log
echo "installed: $(dpkg-query -W -f='${Package} ${Version}' ondril)"
apt-get install -y -qq --no-install-recommends xvfb xauth xdotool >>/tmp/apt.log

for f in /usr/bin/ondril /usr/bin/balance-sim /usr/share/man/man1/ondril.1.gz \
         /usr/share/man/man1/balance-sim.1.gz /usr/share/metainfo/org.ondril.Ondril.metainfo.xml \
         /usr/share/icons/hicolor/scalable/apps/org.ondril.Ondril.svg; do
    [ -e "$f" ] || fail "$f is missing"
done

Xvfb :42 -screen 0 1280x900x24 -nolisten tcp 2>/dev/null &
xvfb=$!
balance-sim --link /tmp/ttyBalance >/dev/null &
sim=$!
trap 'kill $xvfb $sim 2>/dev/null || true' EXIT
sleep 1

# Start the program the way the desktop menu does: the entry's Exec line.
entry=/usr/share/applications/org.ondril.Ondril.desktop
exec_line=$(sed -n 's/^Exec=//p' "$entry")
DISPLAY=:42 ONDRIL_PORTS=/tmp/ttyBalance $exec_line 2>/tmp/ondril.err &
app=$!
win=$(DISPLAY=:42 timeout 20 xdotool search --sync --onlyvisible --name '^Brivon Electronic Balance Communications Test$' | head -n 1) \
    || { cat /tmp/ondril.err; fail "the window did not appear"; }
echo "window shown: $win"
DISPLAY=:42 xdotool mousemove --window "$win" 20 10 click 1 # EXIT
status=0
wait $app || status=$?
[ "$status" -eq 0 ] || fail "ondril ended with status $status"
echo "package check passed"
