#!/usr/bin/env bash
# Builds Ondril for Windows on Debian: ondril.exe (one file, no DLLs beside
# it), its tests, the installer and the portable zip, in build-win/. With
# --test it then runs the tests under Wine. Run as root (or through sudo):
# it installs the cross-compiler, Wine and NSIS with apt-get, and unpacks the
# static Qt for Windows to /opt/qt6-mingw from ../shared/ (or $ONDRIL_QT_MINGW).
set -euo pipefail
cd "$(dirname "$0")/.."

qt=/opt/qt6-mingw
archive=${ONDRIL_QT_MINGW:-../shared/qt6-mingw-6.4.2.tar.xz}
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

packages=(g++-mingw-w64-x86-64-posix mingw-w64-tools ninja-build cmake qt6-base-dev-tools
          wine64 nsis zip xvfb xauth)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update
    $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi

if [ ! -f "$qt/mingw.cmake" ]; then
    if [ ! -f "$archive" ]; then
        cat >&2 <<'HOW'
No Qt for Windows here: neither /opt/qt6-mingw nor ../shared/qt6-mingw-6.4.2.tar.xz.
Build one (about 50 minutes on 2 cores) from Debian's qt6-base 6.4.2 sources and
qtserialport v6.4.2, with Debian's Qt 6.4.2 as the host tools:
  apt-get source qt6-base            # needs a deb-src entry
  mkdir build-qtbase && cd build-qtbase
  ../qtbase-everywhere-src-6.4.2/configure -prefix /opt/qt6-mingw -release -static \
    -platform linux-g++ -xplatform win32-g++ -qt-host-path /usr \
    -nomake examples -nomake tests -no-opengl -no-dbus -no-feature-sql -no-feature-network \
    -no-feature-concurrent -no-feature-xml -no-feature-printsupport -no-feature-vulkan \
    -qt-zlib -qt-pcre -qt-libpng -qt-libjpeg -qt-freetype -qt-harfbuzz -no-icu \
    -- -DCMAKE_TOOLCHAIN_FILE=mingw.cmake \
       -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake -DFEATURE_tabletevent=OFF
  cmake --build . --parallel 2 && cmake --install .
  /opt/qt6-mingw/bin/qt-configure-module ../qtserialport-6.4.2   # then build and install alike
where mingw.cmake names the x86_64-w64-mingw32-*-posix compilers (see /opt/qt6-mingw/mingw.cmake
of a finished build). Then run this script again.
HOW
        exit 2
    fi
    $sudo tar -C / -xJf "$archive"
fi

# The Linux build's balance simulator, when there is one, for the serial
# test through Wine.
sim=""
[ -x build/balance-sim ] && sim=$PWD/build/balance-sim

start=$(date +%s)
cmake -S . -B build-win -G Ninja -DCMAKE_BUILD_TYPE=Release -DONDRIL_WERROR=ON \
    -DCMAKE_TOOLCHAIN_FILE="$qt/mingw.cmake" -DCMAKE_PREFIX_PATH="$qt" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    ${sim:+-DONDRIL_BALANCE_SIM="$sim"}
cmake --build build-win
echo "Built in $(( $(date +%s) - start )) s:"
ls -l build-win/ondril.exe build-win/ondril-*-setup.exe build-win/ondril-*-portable.zip

if [ "${1:-}" = --test ]; then
    (cd build-win && ctest --output-on-failure)
fi
