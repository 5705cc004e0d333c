# The replies of the README's picture: Time and Date checked, then PRINT,
# TARE, UNIT and PRINT again, as an operator would press them. Source it; it
# uses the caller's `click X Y W H` (a control's client-area rectangle).
stamped_replies() {
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
}
