#!/usr/bin/env bash
# Builds the program and every test with AddressSanitizer (LeakSanitizer
# included) and UndefinedBehaviorSanitizer in build-asan, and runs the tests.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tests/ensure_packages.sh g++ cmake libgtest-dev

# Any report fails the test that caused it; leaks are reported at exit.
export ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DOCTETS_SANITIZE=ON >/dev/null
cmake --build build-asan -j 2
ctest --test-dir build-asan --output-on-failure -j 2
