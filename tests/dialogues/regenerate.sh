#!/usr/bin/env bash
# Plays each dialogue case (every one, or those named) with a program and
# writes what it did as the case's expected files: output, errors, status and
# after/ (removed when they say what is the default). Review with git diff.
# output.windows and after.windows/ are left as they are. A CASE is a folder's
# name here.
#   bash tests/dialogues/regenerate.sh PATH/TO/octets [CASE...]
set -euo pipefail
program=$(realpath "${1:?usage: $0 PATH/TO/octets [CASE...]}")
shift
cd "$(dirname "$0")"
cases=("$@")
((${#cases[@]} > 0)) || cases=(*/)
for case in "${cases[@]}"; do
  case=${case%/}
  work=$(mktemp -d)
  [ ! -d "$case/before" ] || cp -R "$case/before/." "$work"
  status=0
  (cd "$work" && exec timeout 60 "$program") <"$case/input" >"$case/output" 2>"$case/errors" || status=$?
  [ -s "$case/errors" ] || rm "$case/errors"
  rm -f "$case/status"
  ((status == 0)) || echo "$status" >"$case/status"
  rm -rf "$case/after"
  if ! diff -r "$work" "${case}/before" >/dev/null 2>&1 &&
    ! { [ ! -d "$case/before" ] && [ -z "$(ls -A "$work")" ]; }; then
    cp -R "$work" "$case/after"
  fi
  rm -rf "$work"
done
