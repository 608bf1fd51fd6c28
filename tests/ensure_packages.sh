#!/usr/bin/env bash
# Installs the named Debian packages that are missing, when this runs as root
# (as on a fresh machine or in CI); otherwise only says which are missing.
#   bash tests/ensure_packages.sh package...
set -euo pipefail
missing=()
for package in "$@"; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
((${#missing[@]} == 0)) && exit 0
if [ "$(id -u)" != 0 ]; then
  echo "missing packages: ${missing[*]}" >&2
  exit 0
fi
apt-get update -qq
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
