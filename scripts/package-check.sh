#!/usr/bin/env bash
# Builds the Debian package and proves it on a fresh Debian: a minimal
# bookworm made with debootstrap (kept in build-pkgcheck/root between runs),
# where the package is installed with apt, and its desktop entry's command
# starts the window on Xvfb against the installed simulator, for a user of
# its own whose first Save lands in their documents folder. The picture of
# that window is left as build-pkgcheck/ondril-window.png (the README's).
# Needs root.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
work=${PKGCHECK_DIR:-$here/build-pkgcheck}
root=$work/root

bash "$here/scripts/setup.sh"
command -v debootstrap >/dev/null || apt-get install -y --no-install-recommends debootstrap
cmake -S "$here" -B "$work/build" -DBUILD_TESTING=OFF >/dev/null
cmake --build "$work/build" -j"$(nproc)" >/dev/null
(cd "$work/build" && cpack -G DEB >/dev/null)
deb=$(ls "$work"/build/ondril_*.deb)
echo "package: $deb"

if [ ! -x "$root/usr/bin/apt-get" ]; then
    rm -rf "$root"
    debootstrap --variant=minbase bookworm "$root" http://deb.debian.org/debian >"$work/debootstrap.log"
fi

mounts=()
cleanup() {
    for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do umount -l "${mounts[i]}" 2>/dev/null || true; done
}
trap cleanup EXIT
for m in proc sys dev dev/pts; do
    mount --bind "/$m" "$root/$m"
    mounts+=("$root/$m")
done

cp "$deb" "$root/tmp/ondril.deb"
cp "$here/scripts/package-check-inside.sh" "$here/scripts/stamped-replies.sh" "$root/tmp/"
chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
    bash /tmp/package-check-inside.sh
cp "$root/tmp/ondril-window.png" "$work/ondril-window.png"
echo "picture: $work/ondril-window.png"
