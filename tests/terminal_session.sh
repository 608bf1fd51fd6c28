#!/usr/bin/env bash
# Runs the built program at a real terminal: a detached tmux server of its own
# types a whole session and reads the screen back. Needs no standard input and
# no TERM of its own. Installs tmux when it is missing and this runs as root.
#
# Usage: tests/terminal_session.sh PATH/TO/octets
set -euo pipefail

program=$(realpath "${1:?usage: $0 PATH/TO/octets}")
TIMEOUT=10

if ! command -v tmux >/dev/null; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "terminal_session: tmux is missing" >&2
    exit 77
  fi
  apt-get update -qq && apt-get install -y -qq tmux >/dev/null
fi

folder=$(mktemp -d)
# A server of its own, whose socket goes away with the folder.
tmux_() { tmux -u -S "$folder/tmux" -f /dev/null "$@"; }
trap 'tmux_ kill-server 2>/dev/null || true; rm -rf "$folder"' EXIT

printf 'A\n\377' >"$folder/hex.bin"
printf 'caf\303\251\n' >"$folder/utf8.txt"

screen() { tmux_ capture-pane -p -N; }

fail() {
  echo "terminal_session: $1" >&2
  echo "--- screen ---" >&2
  screen >&2
  exit 1
}

# Waits until the text just before the cursor is `prompt`, that is until the
# prompt is shown and the program waits right after it, with `gone` (if given)
# nowhere on the screen.
wait_for_prompt() {
  local prompt=$1 gone=${2:-} deadline=$((SECONDS + TIMEOUT)) x y shown line
  while ((SECONDS < deadline)); do
    read -r x y < <(tmux_ display-message -p '#{cursor_x} #{cursor_y}')
    shown=$(screen)
    line=$(sed -n "$((y + 1))p" <<<"$shown")
    if [[ ${line:0:x} == *"$prompt" && ( -z $gone || $shown != *"$gone"* ) ]]; then
      return 0
    fi
    sleep 0.1
  done
  fail "no prompt '$prompt' at the cursor after ${TIMEOUT}s"
}

wait_for_text() {
  local wanted=$1 deadline=$((SECONDS + TIMEOUT))
  while ((SECONDS < deadline)); do
    [[ $(screen) == *"$wanted"* ]] && return 0
    sleep 0.1
  done
  fail "no '$wanted' after ${TIMEOUT}s"
}

expect_row() {
  local row=$1 wanted=$2
  [[ $(screen | sed -n "$((row + 1))p") == "$wanted" ]] || fail "row $row is not '$wanted'"
}

expect_line() {
  screen | grep -qxF -- "$1" || fail "no line '$1'"
}

type_line() {
  tmux_ send-keys -l -- "$1"
  tmux_ send-keys Enter
}

MENU=" Votre choix : "
NAME="Nom du fichier TEXTE : "
CONTINUE=" Souhaitez-vous continuer ? (Y/n) : "

# The shell writes a line first, which the cleared screen must not show, and
# keeps the pane open after the program until the server is killed.
tmux_ new-session -d -x 120 -y 50 -c "$folder" \
  "echo 'avant le programme'; $(printf %q "$program"); echo \"exit=\$?\"; exec sleep 600" \
  </dev/null

wait_for_prompt "$MENU"
expect_row 1 " 1 = Ecrire un nouveau fichier"
tmux_ capture-pane -p -S - | grep -q 'avant le programme' && fail "the screen was not cleared"

# Only the program clearing the screen can take the typed answer off it.
tmux_ send-keys -l -- "$(printf '1%.0s' {1..150})"
wait_for_text 1111111111
tmux_ send-keys Enter
wait_for_prompt "$MENU" 1111111111
expect_row 1 " 1 = Ecrire un nouveau fichier"

type_line 5
wait_for_prompt "$NAME"
expect_row 0 "$NAME"
type_line hex.bin
wait_for_prompt "$CONTINUE"
expect_line " = 3 octets ; Affichage en base 16"
expect_line "****************************"
expect_line "41 0A FF "

type_line y
wait_for_prompt "$MENU"
type_line 3
wait_for_prompt "$NAME"
type_line utf8.txt
wait_for_prompt "$CONTINUE"
expect_line "$(printf 'caf\303\251')"

type_line n
wait_for_text "exit="
expect_line "exit=0"
echo "terminal_session: passed"
