#!/usr/bin/env bash
# Builds the dialogue fuzzer with clang (preset build-fuzz) and runs it on one
# core. Skipped (77) when its packages are missing and this is not root.
#   bash tests/fuzz.sh [seconds]      (60 by default)
# New inputs go to build-fuzz/corpus; a failing input is saved in build-fuzz/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}

bash tests/ensure_packages.sh fuzz
cmake --preset build-fuzz >/dev/null
cmake --build --preset build-fuzz

# The fuzzer works in a folder of its own, so every path it is given is absolute.
here=$PWD
mkdir -p build-fuzz/corpus
build-fuzz/tests/fuzz/dialogue_fuzzer -max_total_time="$seconds" -timeout=10 \
  -rss_limit_mb=2048 -print_final_stats=1 -dict="$here/tests/fuzz/dialogue.dict" \
  -artifact_prefix="$here/build-fuzz/" "$here/build-fuzz/corpus" "$here/tests/fuzz/corpus"
