#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: once as
# shipped, once under AddressSanitizer and UndefinedBehaviorSanitizer (leaks
# included), then each fuzzing target briefly.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake -S . -B build -DONDRIL_WERROR=ON
cmake --build build -j"$(nproc)"
(cd build && ctest --output-on-failure)

cmake -S . -B build-asan -DONDRIL_WERROR=ON -DONDRIL_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
cmake --build build-asan -j"$(nproc)"
(cd build-asan && ctest --output-on-failure)

bash scripts/fuzz.sh "${ONDRIL_FUZZ_SECONDS:-20}"

# The Windows build and its tests under Wine, where the static Qt for Windows
# is at hand.
if [ -f /opt/qt6-mingw/mingw.cmake ] || [ -f "${ONDRIL_QT_MINGW:-../shared/qt6-mingw-6.4.2.tar.xz}" ]; then
    bash scripts/windows.sh --test
else
    echo "No Qt for Windows here (../shared/qt6-mingw-6.4.2.tar.xz): the Windows build was not tested."
fi
