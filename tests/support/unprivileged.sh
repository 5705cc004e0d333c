#!/bin/sh
# Runs a test program as an unprivileged user when started as root, who
# ignores file permissions. A copy in a fresh folder makes sure that user can
# reach the program whatever the checkout's permissions are.
set -eu
exe=$1
shift
[ "$(id -u)" -eq 0 ] || exec "$exe" "$@"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cp "$exe" "$dir/"
chmod 755 "$dir"
status=0
HOME=$dir setpriv --reuid=65534 --regid=65534 --clear-groups "$dir/$(basename "$exe")" "$@" || status=$?
exit "$status"
