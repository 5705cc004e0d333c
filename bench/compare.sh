#!/usr/bin/env bash
# Ondril beside GTKTerm, CuteCom and picocom on the same balance stream, on a private
# Xvfb display; prints a table for the README. Installs the terminals from
# Debian's packages when missing (needs root then).
#   bench/compare.sh [--seconds 60] [--runs 3] [--before PATH] [--startups 10] [--readings-open]
# --readings-open runs Ondril with its Readings window open, the trend showing.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/setup.sh"
missing=()
for p in gtkterm cutecom picocom; do command -v "$p" >/dev/null || missing+=("$p"); done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""; [ "$(id -u)" -eq 0 ] || sudo="sudo"
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi
cmake -S "$here" -B "$here/build" >/dev/null
cmake --build "$here/build" -j"$(nproc)" --target ondril ondril-compare pty-as-serial >/dev/null

exec {xvfb_out}< <(exec Xvfb -displayfd 1 -screen 0 1280x900x24 -nolisten tcp 2>/dev/null)
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true' EXIT
read -r -t 30 num <&"$xvfb_out" || { echo "Xvfb did not start" >&2; exit 1; }
# A fresh home each run, so no terminal starts from settings saved earlier.
home=$(mktemp -d)
trap 'kill $xvfb 2>/dev/null || true; rm -rf "$home"' EXIT
DISPLAY=":$num" HOME="$home" XDG_CONFIG_HOME="$home/.config" \
    "$here/build/ondril-compare" --ondril "$here/build/ondril" \
    --pty-shim "$here/build/bench/libpty-as-serial.so" "$@"
