#!/usr/bin/env bash
# Builds the dialogue fuzzer with clang in build-fuzz and runs it on one core.
#   bash tests/fuzz.sh [seconds]      (60 by default)
# New inputs go to build-fuzz/corpus; a failing input is saved in build-fuzz/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}

bash tests/ensure_packages.sh clang cmake
clang_major=$(clang++ -dumpversion | cut -d. -f1)
bash tests/ensure_packages.sh "libclang-rt-$clang_major-dev"

cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DOCTETS_FUZZ=ON -DBUILD_TESTING=OFF >/dev/null
cmake --build build-fuzz -j 2 --target dialogue_fuzzer

# The fuzzer works in a folder of its own, so every path it is given is absolute.
here=$PWD
mkdir -p build-fuzz/corpus
build-fuzz/tests/fuzz/dialogue_fuzzer -max_total_time="$seconds" -timeout=10 \
  -rss_limit_mb=2048 -print_final_stats=1 -dict="$here/tests/fuzz/dialogue.dict" \
  -artifact_prefix="$here/build-fuzz/" "$here/build-fuzz/corpus" "$here/tests/fuzz/corpus"
