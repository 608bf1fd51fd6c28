#!/usr/bin/env bash
# The Debian packages each stage of the tests needs, and the one place that
# installs them: as root (a fresh machine, CI) it installs the missing ones
# quietly, after one apt-get update; as an ordinary user it installs nothing.
#   bash tests/ensure_packages.sh STAGE...
# Exit status:
#   0   every package the stages need is installed (now)
#   77  not root, and a package is missing or a stage needs root: nothing was
#       installed, and one line on standard output names the stages and what
#       they need (77 is what ctest and automake read as "skipped")
#   1   installing failed (apt-get's messages are shown)
#   2   no stage, or an unknown one
set -euo pipefail

declare -A needs=(
  [native]="g++ cmake libgtest-dev"
  [sanitizer]="g++ cmake libgtest-dev"
  [terminal]="tmux python3"
  [fuzz]="clang libclang-rt-dev cmake"
  [windows]="g++-mingw-w64-x86-64-posix wine tmux g++ cmake libgtest-dev"
  # dpkg-shlibdeps (dpkg-dev) finds the package's dependencies; man-db and
  # groff show the manual page; lintian is Debian's own checker; the Windows
  # zip needs the cross compiler.
  [package]="dpkg-dev man-db groff-base lintian g++ cmake g++-mingw-w64-x86-64-posix"
  [bench]="hyperfine time"
)

(($# > 0)) || { echo "usage: $0 STAGE... (${!needs[*]})" >&2; exit 2; }
wanted=()
for stage in "$@"; do
  [[ -v needs[$stage] ]] || { echo "ensure_packages: no stage '$stage'" >&2; exit 2; }
  wanted+=(${needs[$stage]})
done
missing=()
for package in $(printf '%s\n' "${wanted[@]}" | sort -u); do
  [ "$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null)" = installed ] ||
    missing+=("$package")
done

if ((EUID != 0)); then
  need=
  # The package stage installs and removes the octets package itself.
  [[ " $* " != *" package "* ]] || need="root (to install the octets package)"
  ((${#missing[@]} == 0)) || need+="${need:+ and }the Debian packages ${missing[*]}"
  [ -z "$need" ] && exit 0
  echo "$*: skipped, needs $need"
  exit 77
fi
((${#missing[@]} == 0)) && exit 0
# Another apt-get (unattended upgrades on a fresh machine) may hold the lock.
apt_get() { DEBIAN_FRONTEND=noninteractive DEBCONF_NOWARNINGS=yes apt-get -qq -o DPkg::Lock::Timeout=600 "$@"; }
apt_get update || exit 1
apt_get install -y "${missing[@]}" >/dev/null || exit 1
