#!/usr/bin/env bash
# The receive box in the real window as an operator uses it: two replies come,
# a drag selects them and Ctrl+C copies them to the desktop's clipboard, a
# note is typed after them, and Save writes exactly what the box shows.
. "$(dirname "$0")/xsession.sh"
E2E_TMP=$(mktemp -d)
cp "$1" "$E2E_TMP/ondril" # the log goes to the program's own folder
log="$E2E_TMP/Recdata0.txt"
start_display
start_sim "$2"
start_ondril "$E2E_TMP/ondril"

click 64 144 99 33 # PRINT
sleep 1
click 64 144 99 33
sleep 1

# From the left edge of the first row to the right of the second, in the box at 296,248.
xdotool mousemove --window "$WIN" 301 $(( MENU + 261 )) mousedown 1 \
    mousemove --window "$WIN" 450 $(( MENU + 268 )) mousemove --window "$WIN" 640 $(( MENU + 276 )) mouseup 1
sleep 0.3
xdotool key --clearmodifiers ctrl+c
sleep 0.3
copied=$(xclip -o -selection clipboard 2>/dev/null || true)
reply='^ +[-+] +[0-9]+\.[0-9]+ g$'
[ "$(grep -Ec "$reply" <<<"$copied")" -eq 2 ] && [ "$(wc -l <<<"$copied")" -eq 2 ] \
    || fail "the drag copied: $(od -c <<<"$copied" | head -5)"
[ "$(xclip -o -selection primary 2>/dev/null)" = "$copied" ] || fail "the selection is not X11's primary selection"

xdotool key --clearmodifiers ctrl+End
xdotool type --delay 20 "checked by hand"
xdotool key Return
sleep 0.3
click 112 400 97 33 # Save
for _ in $(seq 25); do [ -s "$log" ] && break; sleep 0.2; done
expected=$(printf '%s\r\n' "$(sed -n 1p <<<"$copied")" "$(sed -n 2p <<<"$copied")" "checked by hand" ""; echo .)
[ "$(cat "$log"; echo .)" = "$expected" ] || fail "the log holds: $(od -c "$log" | head -8)"

exit_through_menu
echo "3 passed, 0 failed"
