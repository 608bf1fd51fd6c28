#!/usr/bin/env bash
# Installs the built program into a temporary prefix with cmake --install, runs
# the installed program, runs the manual page's examples as they are written
# there, and checks that groff renders the page without a warning (when groff
# is there; otherwise says so).
#   bash tests/install_test.sh BUILD_FOLDER
set -euo pipefail

build=$(realpath "${1:?usage: $0 BUILD_FOLDER}")
# The help page's dialogue case: its input and the whole output.
help_page=$(realpath "$(dirname "$0")/dialogues/help-page")
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
prefix=$folder/prefix

fail() {
  echo "install: $*" >&2
  exit 1
}

cmake --install "$build" --prefix "$prefix" >/dev/null
for file in bin/octets share/man/man1/octets.1 share/doc/octets/README.md \
  share/doc/octets/views.svg; do
  [ -s "$prefix/$file" ] || fail "$file is not installed"
done
# The installed README's picture is found where its link points.
grep -qF '](views.svg)' "$prefix/share/doc/octets/README.md" ||
  fail "the installed README does not link to the picture beside it"
[ -x "$prefix/bin/octets" ] || fail "bin/octets is not executable"

# The installed program, not the one in the build folder, answers from now on.
export PATH="$prefix/bin:$PATH"
[ "$(command -v octets)" = "$prefix/bin/octets" ] || fail "octets is not found on the PATH"

work=$folder/work
mkdir "$work"
cd "$work"
octets <"$help_page/input" >"$folder/help" || fail "the help page ended with status $?"
cmp -s "$folder/help" "$help_page/output" ||
  fail "the installed program does not show the help page: $(cat "$folder/help")"

# The examples of the manual page, taken from its source: one command a line
# between .EX and .EE, with groff's \(aq for a quote and \e for a backslash.
page=$prefix/share/man/man1/octets.1
mapfile -t examples < <(sed -n '/^\.EX$/,/^\.EE$/{/^\./d;s/\\(aq/'"'"'/g;s/\\e/\\/g;p}' "$page")
((${#examples[@]} == 4)) || fail "expected 4 examples in the manual page, found ${#examples[@]}"
outputs=()
for example in "${examples[@]}"; do
  outputs+=("$(bash -c "$example")") || fail "example failed with status $?: $example"
done
# Write notes.txt, show it in base 16, encipher it with the key 42.
[ "${outputs[0]}" = "$(cat "$help_page/output")" ] ||
  fail "the first example does not show the help page"
[ -z "${outputs[1]}" ] || fail "the second example writes to the screen: ${outputs[1]}"
grep -qxF "75 6E 65 20 6C 69 67 6E 65 0A " <<<"${outputs[2]}" ||
  fail "the third example does not show 'une ligne' in base 16: ${outputs[2]}"
[ "$(od -An -tx1 notes.txt | tr -d ' \n')" = 5f444f0a46434d444f20 ] ||
  fail "notes.txt is not 'une ligne' enciphered with 42: $(od -An -tx1 notes.txt)"
bash -c "${examples[3]}" >/dev/null
[ "$(cat notes.txt)" = "une ligne" ] || fail "the same key twice does not restore notes.txt"

if ! command -v groff >/dev/null; then
  echo "install: groff is missing, the manual page was not rendered"
  exit 0
fi
warnings=$(groff -man -ww -z "$page" 2>&1) || fail "groff failed: $warnings"
[ -z "$warnings" ] || fail "groff warns about the manual page: $warnings"
rendered=$(groff -man -Tutf8 -P-cbou "$page" 2>&1)
for heading in NOM SYNOPSIS DESCRIPTION "CODE DE RETOUR" "CRYPTAGE INTERROMPU" EXEMPLES; do
  grep -qx "$heading" <<<"$rendered" || fail "the rendered manual page has no $heading section"
done
# Accents are written as groff escapes: one that groff does not know shows up
# as a backslash or a missing letter rather than as a warning in some versions.
grep -q "données" <<<"$rendered" ||
  fail "the rendered manual page lost its accents"
if grep -n '\\' <<<"$rendered" | grep -v 'printf'; then
  fail "the rendered manual page shows stray backslashes (above)"
fi
echo "install: installed, ran the help page and the manual's examples, manual page clean"
