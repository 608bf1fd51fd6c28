#!/usr/bin/env bash
# The README's test command, and what CI runs. Its stages:
#   native     the program and its whole suite (preset build): the unit,
#              program, terminal and package (install) tiers
#   sanitizer  the same suite under AddressSanitizer and UBSan (build-asan)
#   fuzz       a one-minute fuzz of whole dialogues (build-fuzz, clang)
#   windows    the Windows program (build-win) under wine
#   package    the Debian package and the Windows zip, installed, run, removed
# As root (a fresh machine, CI) it first installs every Debian package these
# need, with tests/ensure_packages.sh. As an ordinary user it installs nothing:
# a stage that lacks a package is skipped with one line naming them, and so is
# the package stage, which needs root, and the terminal tier without tmux. The
# native and sanitizer suites always run: without their packages the run
# fails. A last line sums up; the status is 0 when every stage that ran passed.
set -uo pipefail
cd "$(dirname "$0")/.."

if ((EUID == 0)); then
  bash tests/ensure_packages.sh native sanitizer terminal fuzz windows package || exit 1
fi
# Without tmux both suites leave the terminal tier out.
without_terminal=()
bash tests/ensure_packages.sh terminal || without_terminal=(-LE terminal)

passed=() skipped=() failed=()
# stage NAME COMMAND...: status 77 from a stage means it was skipped and said why.
stage() {
  local name=$1
  shift
  "$@"
  case $? in 0) passed+=("$name") ;; 77) skipped+=("$name") ;; *) failed+=("$name") ;; esac
}
# suite PRESET STAGE: builds in the preset's folder and runs every test there.
suite() {
  bash tests/ensure_packages.sh "$2" && cmake --preset "$1" >/dev/null &&
    cmake --build --preset "$1" && ctest --preset "$1" "${without_terminal[@]}" || return 1
}

stage native suite build native
stage sanitizer suite build-asan sanitizer
stage fuzz bash tests/fuzz.sh 60
stage windows bash tests/windows/run.sh
stage package bash tests/package.sh
echo "run_all: passed: ${passed[*]:-none}; skipped: ${skipped[*]:-none}; failed: ${failed[*]:-none}"
((${#failed[@]} == 0))
