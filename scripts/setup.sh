#!/usr/bin/env bash
# Installs everything that building, running and testing Ondril need on Debian.
# Runs as root (or through sudo); safe to run again.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  qt6-base-dev qt6-serialport-dev libgl-dev
  fonts-wqy-zenhei fonts-liberation fonts-dejavu-core
  xvfb xauth xdotool xclip x11-utils imagemagick socat procps
  libx11-dev desktop-file-utils appstream dpkg-dev gzip
  clang libclang-rt-14-dev
  python3 python3-pyatspi at-spi2-core dbus
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update
$sudo apt-get install -y --no-install-recommends "${missing[@]}"
