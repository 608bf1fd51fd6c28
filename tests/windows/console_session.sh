#!/usr/bin/env bash
# Runs the Windows program under wine at a real terminal (a tmux server of its
# own), where wine gives it a console: the text view must show the IBM PC
# symbols whatever the console's code page, no byte of a file may act on the
# terminal, and the byte views must show the rows a terminal shows. Expects
# the wine settings of run.sh in the environment.
#
# Usage: tests/windows/console_session.sh PATH/TO/octets.exe
set -euo pipefail

program=$(realpath "${1:?usage: $0 PATH/TO/octets.exe}")
# The menu's last row, which waits for the choice, and the continue question,
# as the dialogue cases show them.
cases=$(realpath "$(dirname "$0")/../dialogues")
MENU=$(tail -n 1 "$cases/end-of-input-at-menu/output")
NAME="Nom du fichier TEXTE : "
CONTINUE=$(tail -n 1 "$cases/choice-zero-runs-nothing/output")
TIMEOUT=30
WIDTH=100

folder=$(mktemp -d)
# Its panes run their commands in bash, whatever the user's login shell.
tmux_() { SHELL=$BASH tmux -u -S "$folder/tmux" -f /dev/null "$@"; }
trap 'tmux_ kill-server 2>/dev/null || true; rm -rf "$folder"' EXIT

# Every byte value but those the text view reads as text: tab, line end and
# carriage return move the cursor, and 0x1A ends a text-mode read on Windows.
{
  for value in {0..8} 11 12 {14..25} {27..255}; do printf "\\$(printf %03o "$value")"; done
} >"$folder/symbols.bin"
printf 'avant\033[2J\033]0;TITRE\007\033[8mapres\n' >"$folder/escape.txt"
for value in {0..255}; do printf "\\$(printf %03o "$value")"; done >"$folder/all.bin"

# The zero byte's symbol, the code page's own for the control bytes and 0x7F;
# iconv gives the rest.
low=$(printf '\xe2\x97\xa6\xe2\x98\xba\xe2\x98\xbb\xe2\x99\xa5\xe2\x99\xa6\xe2\x99\xa3\xe2\x99\xa0\xe2\x80\xa2\xe2\x97\x98\xe2\x99\x82\xe2\x99\x80\xe2\x99\xab\xe2\x98\xbc\xe2\x96\xba\xe2\x97\x84\xe2\x86\x95\xe2\x80\xbc\xc2\xb6\xc2\xa7\xe2\x96\xac\xe2\x86\xa8\xe2\x86\x91\xe2\x86\x93\xe2\x86\x90\xe2\x88\x9f\xe2\x86\x94\xe2\x96\xb2\xe2\x96\xbc')
ascii=$(for value in {32..126}; do printf "\\$(printf %03o "$value")"; done)
high=$(for value in {128..255}; do printf "\\$(printf %03o "$value")"; done | iconv -f CP437 -t UTF-8)
symbols="$low$ascii$(printf '\xe2\x8c\x82')$high"

# The screen's rows put end to end: wine's console breaks its own rows, so
# tmux cannot join them.
screen_text() { tmux_ capture-pane -p | tr -d '\n'; }

fail() {
  echo "console_session: $1" >&2
  echo "--- screen ---" >&2
  tmux_ capture-pane -p >&2
  exit 1
}

wait_for_prompt() {
  local prompt=$1 deadline=$((SECONDS + TIMEOUT)) x y line
  while ((SECONDS < deadline)); do
    read -r x y < <(tmux_ display-message -p '#{cursor_x} #{cursor_y}')
    line=$(tmux_ capture-pane -p -N | sed -n "$((y + 1))p")
    # wine's console leaves a written space at the end of a row as an
    # empty cell, which the capture drops.
    [[ ${line:0:x} == *"${prompt% }" ]] && return 0
    sleep 0.2
  done
  fail "no prompt '$prompt' at the cursor after ${TIMEOUT}s"
}

type_line() {
  tmux_ send-keys -l -- "$1"
  tmux_ send-keys Enter
}

# Types each answer and waits for the prompt given after it.
answer() {
  while (($#)); do type_line "$1"; wait_for_prompt "$2"; shift 2; done
}

# wine's console takes the terminal's UTF-8 for its own output.
run=$(printf %q "$program")
tmux_ new-session -d -x "$WIDTH" -y 50 -c "$folder" \
  "LANG=C.UTF-8 wine $run; echo \"exit=\$?\"; exec sleep 600" </dev/null
wait_for_prompt "$MENU"
title=$(tmux_ display-message -p '#{pane_title}')

answer 3 "$NAME" symbols.bin "$CONTINUE"
# The file has no line end: the separator line follows on the same row.
[[ $(screen_text) == *"$symbols****************************"* ]] ||
  fail "the text view does not show the code page 437 symbols in order"

answer y "$MENU" 3 "$NAME" escape.txt "$CONTINUE"
[[ $(screen_text) == *"Nom du fichier TEXTE : escape.txt"*"avant"$'\xe2\x86\x90'"[2J"* ]] ||
  fail "the escape sequences acted on the screen"
# Only the foreground colours the program gives each kind of byte.
tmux_ capture-pane -p -e | sed -E $'s/\x1b\\[(90|32|36|31|35|39)m//g' | LC_ALL=C grep -q $'\033' &&
  fail "the screen has attributes"
[[ $(tmux_ display-message -p '#{pane_title}') == "$title" ]] || fail "the window title changed"

# The byte views show the same rows as at a terminal: tests/check_rows.py
# checks each view on the screen and in the history above it.
for choice in 4 5 6; do
  answer y "$MENU" "$choice" "$NAME" all.bin "$CONTINUE"
  views=$(tmux_ capture-pane -p -S - | python3 "$(dirname "$0")/../check_rows.py" \
    "$folder/all.bin" "$WIDTH") || fail "the rows of view $choice are not those of a terminal"
  ((views > 0)) || fail "no rows of view $choice"
done

# A view longer than the window waits after each screenful of 49 rows, at a
# prompt erased before what follows: after two, "q" ends it, 95 rows of 16
# values under the size line, the legend and the separator line.
PAGE="-- EntrEe : la suite ; q : fin de l'affichage --"
for _ in {1..16}; do cat "$folder/all.bin"; done >"$folder/paged.bin"
head -c $((95 * 16)) "$folder/paged.bin" >"$folder/shown.bin"
prompts() { tmux_ capture-pane -p -S - | grep -cF -- "$PAGE"; }
answer y "$MENU" 5 "$NAME" paged.bin "$PAGE" "" "$PAGE"
(($(prompts) == 1)) || fail "the pager's prompt was not erased"
answer q "$CONTINUE"
(($(prompts) == 0)) || fail "the pager's prompt was not erased at 'q'"
tmux_ capture-pane -p -S - | sed -n '/ = 4096 octets/,$p' |
  python3 "$(dirname "$0")/../check_rows.py" "$folder/shown.bin" "$WIDTH" >/dev/null ||
  fail "the paged view does not show two screenfuls of rows"

type_line n
deadline=$((SECONDS + TIMEOUT))
until tmux_ capture-pane -p | grep -qx "exit=0"; do
  ((SECONDS < deadline)) || fail "the program did not end with status 0"
  sleep 0.2
done
echo "console_session: passed"
