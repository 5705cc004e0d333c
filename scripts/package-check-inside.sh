#!/usr/bin/env bash
# Runs inside the fresh Debian of package-check.sh.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
fail() { echo "FAIL: $*" >&2; exit 1; }

apt-get update -qq
# Only the package and what it depends on, plus an X server to show it on.
apt-get install -y -qq --no-install-recommends /tmp/ondril.deb >/tmp/apt.log
echo "installed: $(dpkg-query -W -f='${Package} ${Version}' ondril)"
apt-get install -y -qq --no-install-recommends xvfb xauth xdotool imagemagick >>/tmp/apt.log

for f in /usr/bin/ondril /usr/bin/balance-sim /usr/share/man/man1/ondril.1.gz \
         /usr/share/man/man1/balance-sim.1.gz /usr/share/metainfo/org.ondril.Ondril.metainfo.xml \
         /usr/share/icons/hicolor/scalable/apps/org.ondril.Ondril.svg; do
    [ -e "$f" ] || fail "$f is missing"
done

# A user of its own, "lab", in the group that may open serial ports.
id lab >/dev/null 2>&1 || useradd --create-home --groups dialout lab
rm -rf /home/lab/Documents

# Each in a process group of its own, ended whole at exit: runuser does not
# pass a signal on to the program it runs.
Xvfb :42 -screen 0 1280x900x24 -nolisten tcp 2>/dev/null &
xvfb=$!
setsid bash -c 'exec runuser -u lab -- env HOME=/home/lab balance-sim --link /tmp/ttyBalance' >/dev/null &
sim=$!
end_all() {
    kill -TERM -- "-$sim" 2>/dev/null || true
    [ -z "${app:-}" ] || kill -TERM -- "-$app" 2>/dev/null || true
    kill "$xvfb" 2>/dev/null || true
    sleep 0.5
    kill -KILL -- "-$sim" 2>/dev/null || true
    [ -z "${app:-}" ] || kill -KILL -- "-$app" 2>/dev/null || true
}
trap end_all EXIT
sleep 1

# Start the program the way the desktop menu does: the entry's Exec line.
entry=/usr/share/applications/org.ondril.Ondril.desktop
exec_line=$(sed -n 's/^Exec=//p' "$entry")
setsid bash -c 'exec runuser -u lab -- env HOME=/home/lab DISPLAY=:42 ONDRIL_PORTS=/tmp/ttyBalance '"$exec_line" 2>/tmp/ondril.err &
app=$!
win=$(DISPLAY=:42 timeout 20 xdotool search --sync --onlyvisible --name '^Brivon Electronic Balance Communications Test$' | head -n 1) \
    || { cat /tmp/ondril.err; fail "the window did not appear"; }
echo "window shown: $win"
eval "$(DISPLAY=:42 xdotool getwindowgeometry --shell "$win")"
menu=$(( HEIGHT - 611 ))
click() { DISPLAY=:42 xdotool mousemove --window "$win" $(( $1 + $3 / 2 )) $(( menu + $2 + $4 / 2 )) click 1; }

# A few stamped replies, then the first Save: it goes to the user's
# documents folder, made for it, not to /usr/bin.
. /tmp/stamped-replies.sh
stamped_replies
click 112 400 97 33 # Save
log=/home/lab/Documents/Recdata0.txt
for _ in $(seq 20); do [ -s "$log" ] && break; sleep 0.2; done
[ -s "$log" ] || { cat /tmp/ondril.err; fail "the first Save wrote no $log"; }
[ "$(stat -c %U "$log")" = lab ] || fail "$log is not the user's"
grep -Eq '^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9:]{8} +[-+] +[0-9.]+ (g|kg)'$'\r''$' "$log" || fail "the log holds: $(head -3 "$log")"
echo "first Save: $log"
DISPLAY=:42 xdotool mousemove --window "$win" 700 600 # the pointer out of the picture
DISPLAY=:42 import -window "$win" -frame /tmp/ondril-window.png
DISPLAY=:42 xdotool mousemove --window "$win" 20 10 click 1 # EXIT
status=0
wait $app || status=$?
[ "$status" -eq 0 ] || fail "ondril ended with status $status"
echo "package check passed"
