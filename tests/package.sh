#!/usr/bin/env bash
# Packs the program and checks the packages as a user would meet them: the
# Debian package gives lintian --pedantic nothing to say (no tag at all), a
# second build in a fresh folder gives the same bytes, it is installed with
# dpkg -i, octets runs from the PATH, man octets shows the manual page, and
# dpkg -r octets leaves none of its files behind; the Windows zip holds
# octets.exe and a text with Windows line ends. Installs what it needs when it
# is missing; needs root for dpkg, and is skipped (77) otherwise.
#   bash tests/package.sh
set -euo pipefail
cd "$(dirname "$0")/.."
native=build
jobs=2
started=$SECONDS

bash tests/ensure_packages.sh package

fail() {
  echo "package: $*" >&2
  exit 1
}

if dpkg -s octets >/dev/null 2>&1; then
  fail "a package octets is installed already; remove it first (dpkg -r octets)"
fi
[ ! -e /usr/bin/octets ] || fail "/usr/bin/octets exists outside any package"

folder=$(mktemp -d)
# Readable by the unprivileged user that runs lintian.
chmod 755 "$folder"
trap 'rm -rf "$folder"' EXIT

# Every time in the package is this one, the last commit's when there is one.
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 1796688000)}
# pack FOLDER: builds the program in FOLDER and packs it there.
pack() {
  cmake --build "$1" -j "$jobs" --target octets >/dev/null
  rm -f "$1"/octets_*.deb
  (cd "$1" && cpack -G DEB >/dev/null)
}
cmake --preset build >/dev/null
pack "$native"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$native/CMakeCache.txt")
name=octets_${version}_$(dpkg --print-architecture).deb
deb=$native/$name
[ -f "$deb" ] || fail "cpack -G DEB made no $deb"

# The same commit built again elsewhere, with the same compiler and build type,
# gives the same bytes.
cache() { sed -n "s/^$1:[A-Z]*=//p" "$native/CMakeCache.txt"; }
cmake --preset build -B "$folder/again" -DCMAKE_CXX_COMPILER="$(cache CMAKE_CXX_COMPILER)" \
  -DCMAKE_BUILD_TYPE="$(cache CMAKE_BUILD_TYPE)" >/dev/null
pack "$folder/again"
if ! cmp "$deb" "$folder/again/$name"; then
  diff <(dpkg-deb -c "$deb") <(dpkg-deb -c "$folder/again/$name") >&2 || true
  fail "two builds of the same commit give different packages"
fi
rm -rf "$folder/again"

# Debian's own checker, as an ordinary user (it warns when run as root).
cp "$deb" "$folder/$name"
chmod 644 "$folder/$name"
checked=$(runuser -u nobody -- lintian --pedantic "$folder/$name" 2>&1) ||
  fail "lintian failed: $checked"
# Not even a pedantic note: each one is something a Debian user would see fixed.
[ -z "$checked" ] || fail "lintian --pedantic finds in $name: $checked"
rm "$folder/$name"

for field in Maintainer Section Description; do
  [ -n "$(dpkg-deb -f "$deb" "$field")" ] || fail "the package has no $field"
done
[ "$(dpkg-deb -f "$deb" Section)" = utils ] || fail "the package's section is not utils"
# The C++ runtime is linked in: the C library is all the program needs.
depends=$(dpkg-deb -f "$deb" Depends)
grep -qx 'libc6 (>= [0-9.]*)' <<<"$depends" ||
  fail "the package should depend on the C library alone, not on '$depends'"
[ "$(dpkg-deb --fsys-tarfile "$deb" | tar -xOf - ./usr/share/doc/octets/changelog.gz |
  gzip -dc | head -n 1)" = "octets ($version) unstable; urgency=medium" ] ||
  fail "the changelog's last entry is not for version $version"
# Its files, without the folders it shares with every other package.
mapfile -t files < <(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\./, "", $6); print $6 }')
for file in /usr/bin/octets /usr/share/man/man1/octets.1.gz /usr/share/doc/octets/README.md \
  /usr/share/doc/octets/views.svg /usr/share/doc/octets/changelog.gz /usr/share/doc/octets/copyright; do
  printf '%s\n' "${files[@]}" | grep -qxF "$file" || fail "the package lacks $file"
done

trap 'dpkg -r octets >/dev/null 2>&1 || true; rm -rf "$folder"' EXIT
dpkg -i "$deb" >/dev/null
for file in "${files[@]}"; do
  [ -e "$file" ] || fail "dpkg -i did not install $file (is it excluded in /etc/dpkg/dpkg.cfg.d?)"
done

[ "$(command -v octets)" = /usr/bin/octets ] || fail "octets is not found on the PATH"
(cd "$folder" && octets) <tests/dialogues/help-page/input >"$folder/help" ||
  fail "octets from the PATH ended with status $?"
cmp -s "$folder/help" tests/dialogues/help-page/output ||
  fail "octets from the PATH does not show the help page"

[ "$(man -w octets)" = /usr/share/man/man1/octets.1.gz ] ||
  fail "man finds another page for octets: $(man -w octets)"
manual=$(MANWIDTH=80 man -P cat --warnings octets 2>"$folder/man.err") ||
  fail "man octets failed: $(cat "$folder/man.err")"
[ ! -s "$folder/man.err" ] || fail "man octets warns: $(cat "$folder/man.err")"
grep -q '^NOM$' <<<"$manual" && grep -q 'octets - montrer que tout fichier' <<<"$manual" ||
  fail "man octets does not show the manual page: $manual"

dpkg -r octets >/dev/null
trap 'rm -rf "$folder"' EXIT
for file in "${files[@]}"; do
  [ ! -e "$file" ] || fail "dpkg -r octets left $file behind"
done
[ ! -e /usr/share/doc/octets ] || fail "dpkg -r octets left /usr/share/doc/octets behind"
status=$(dpkg-query -W -f='${db:Status-Status}' octets 2>/dev/null || true)
[ -z "$status" ] || [ "$status" = not-installed ] ||
  fail "after dpkg -r the package is still known as $status"
echo "package: $(basename "$deb") installed, run, shown by man and removed"

# The Windows zip, from the Windows build folder that tests/windows/run.sh
# leaves, or from a new one.
cmake --preset build-win >/dev/null
cmake --build build-win -j "$jobs" --target octets >/dev/null
rm -f build-win/octets-*.zip
(cd build-win && cpack -G ZIP >/dev/null)
zip=$PWD/build-win/octets-$version-win64.zip
[ -f "$zip" ] || fail "cpack -G ZIP made no $zip"
top=octets-$version-win64
listing=$(cmake -E tar tf "$zip")
[ "$(sort <<<"$listing")" = "$(printf '%s\n' "$top/LISEZMOI.txt" "$top/octets.exe")" ] ||
  fail "the zip should hold $top/octets.exe and $top/LISEZMOI.txt, it holds: $listing"
(cd "$folder" && cmake -E tar xf "$zip")
[ "$(head -c 2 "$folder/$top/octets.exe")" = MZ ] || fail "octets.exe in the zip is not a Windows program"
text=$folder/$top/LISEZMOI.txt
lines=$(wc -l <"$text")
((lines > 0)) && [ "$(grep -c $'\r$' "$text")" = "$lines" ] ||
  fail "LISEZMOI.txt does not end every line with CR LF"
[ "$(tail -c 2 "$text" | od -An -c | tr -d ' ')" = '\r\n' ] || fail "LISEZMOI.txt does not end with CR LF"
! LC_ALL=C grep -q '[^ -~'$'\r'']' "$text" || fail "LISEZMOI.txt is not plain ASCII"
echo "package: $(basename "$zip") holds octets.exe and LISEZMOI.txt; passed in $((SECONDS - started)) s"
