#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake -S . -B build -DONDRIL_WERROR=ON
cmake --build build -j"$(nproc)"
cd build
ctest --output-on-failure
