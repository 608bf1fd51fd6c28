#!/usr/bin/env bash
# Cross-builds the Windows program (preset build-win) and runs the end-to-end
# tests and the dialogue cases against it under wine, with the Windows text
# conventions as expectations. Installs the cross compiler, wine and tmux when
# they are missing and this runs as root, and is skipped (77) otherwise. The
# test binaries come from the native build (preset build).
#   bash tests/windows/run.sh
set -euo pipefail
cd "$(dirname "$0")/../.."
native=build
started=$SECONDS

bash tests/ensure_packages.sh windows
cmake --preset build-win >/dev/null
cmake --build --preset build-win

# The .exe may need the system's own DLLs and nothing else: the C runtime is
# msvcrt.dll, and the C++ runtime is linked in.
dlls=$(x86_64-w64-mingw32-objdump -p build-win/octets.exe | sed -n 's/^\s*DLL Name: //p')
echo "windows: octets.exe imports ${dlls//$'\n'/ }"
if ! grep -qix msvcrt.dll <<<"$dlls" ||
  grep -qiE 'ucrt|api-ms-win-crt|libstdc|libgcc|winpthread' <<<"$dlls"; then
  echo "windows: octets.exe must import msvcrt.dll and no other runtime" >&2
  exit 1
fi

cmake --preset build >/dev/null
cmake --build --preset build --target end_to_end_test dialogue_cases

# A private, quiet prefix that asks nothing and needs no display. It takes
# hundreds of megabytes and a while to make, so it is kept between runs, in
# the user's cache rather than the build tree.
export WINEPREFIX="${XDG_CACHE_HOME:-$HOME/.cache}/octets/wineprefix" WINEDEBUG=-all DISPLAY=
mkdir -p "$(dirname "$WINEPREFIX")"
export WINEDLLOVERRIDES="mscoree,mshtml="
# One server for every run of the program rather than one each; it may be
# running already.
trap 'wineserver -k 2>/dev/null || true' EXIT
wineserver -p 2>/dev/null || true
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot -i >build-win/wineboot.log 2>&1 || { cat build-win/wineboot.log >&2; exit 1; }
fi

export OCTETS_PROGRAM="wine '$PWD/build-win/octets.exe'" OCTETS_LINE_END=crlf
"$native/tests/end_to_end_test"
# Every dialogue case, each a test of its own (tests/dialogues/README.md).
"$native/tests/dialogue_cases" --gtest_filter='*BuiltProgram*'
unset OCTETS_PROGRAM OCTETS_LINE_END
# At a console, where the program writes characters rather than bytes.
bash tests/windows/console_session.sh build-win/octets.exe
echo "windows: passed in $((SECONDS - started)) s"
