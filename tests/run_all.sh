#!/usr/bin/env bash
# Builds the program and runs every test: the unit, dialogue, end-to-end and
# terminal tests, the whole suite again under the sanitizers, a one-minute fuzz
# of whole dialogues, the end-to-end dialogues against the Windows program
# under wine, and the Debian package and the Windows zip (skipped without root,
# which installing the package needs). Each stage installs what it needs when it
# is missing and this runs as root (as on a fresh machine or in CI).
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=2

bash tests/ensure_packages.sh g++ cmake libgtest-dev tmux
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$jobs"
bash tests/sanitize.sh
bash tests/fuzz.sh 60
bash tests/windows/run.sh build
bash tests/package.sh build
# Last, so that the summary of the main suite closes the run.
ctest --test-dir build --output-on-failure -j "$jobs"
