#!/usr/bin/env bash
# Runs the built program at a real terminal: a detached tmux server of its own
# types a whole session and reads the screen back, then shows a file under each
# way of giving a locale. Needs no standard input and no TERM of its own.
# Installs tmux when it is missing and this runs as root.
#
# Usage: tests/terminal_session.sh PATH/TO/octets
set -euo pipefail

program=$(realpath "${1:?usage: $0 PATH/TO/octets}")
TIMEOUT=10

# Ends the script with 77 (skipped) when tmux is missing and this is not root.
bash "$(dirname "$0")/ensure_packages.sh" terminal

folder=$(mktemp -d)
# A server of its own, whose socket goes away with the folder. Its panes run
# their commands in bash, whatever the user's login shell (useradd gives sh).
tmux_() { SHELL=$BASH tmux -u -S "$folder/tmux" -f /dev/null "$@"; }
# Ends the server and waits until it has gone, so that a new one can start.
end_server() {
  tmux_ kill-server
  local deadline=$((SECONDS + 10))
  while tmux_ has-session 2>/dev/null && ((SECONDS < deadline)); do sleep 0.1; done
  rm -f "$folder/tmux"
}
trap 'tmux_ kill-server 2>/dev/null || true; rm -rf "$folder"' EXIT

printf 'A\n\377' >"$folder/hex.bin"
for value in {0..255}; do printf "\\$(printf %03o "$value")"; done >"$folder/all.bin"
printf 'caf\303\251\n' >"$folder/utf8.txt"
printf 'A\001\003\033\200\351\333B' >"$folder/symbols.bin"
# Each would act on the terminal if its bytes reached it: a new window title,
# line-drawing letters, hidden text, a device control string that swallows
# what follows, and a cursor report typed into the program's input.
printf 'avant\033]0;TITRE\007apres\n' >"$folder/title.txt"
printf 'avant\033(0apres\n' >"$folder/charset.txt"
printf 'avant\033[8mapres\n' >"$folder/hidden.txt"
printf 'avant\033Papres\n' >"$folder/dcs.txt"
printf 'avant\033[6napres\n' >"$folder/report.txt"
# A carriage return would let the asterisks overwrite the password.
printf 'user=alice password=hunter2\r************************\r\n' >"$folder/cr.txt"

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

# Every question must be readable: nothing on the screen may carry an
# attribute or another character set, which the capture shows as control
# characters (escape sequences, shift out).
expect_plain_screen() {
  if tmux_ capture-pane -p -e | LC_ALL=C grep -q '[[:cntrl:]]'; then
    fail "$1 left attributes or another character set on the screen"
  fi
}

# From the continue question: goes on, makes the choice and shows `file`.
view_file() {
  type_line y
  wait_for_prompt "$MENU"
  type_line "$1"
  wait_for_prompt "$NAME"
  type_line "$2"
  wait_for_prompt "$CONTINUE"
}
view_text() { view_file 3 "$1"; }

# Shows all.bin in the byte view `choice` at `width` columns. Each row must
# hold whole values, as many as fit, and the rows put end to end must be the
# line that a pipe gets.
expect_byte_rows() {
  local width=$1 choice=$2 piped row rows=() joined= i
  tmux_ resize-window -x "$width"
  view_file "$choice" all.bin
  piped=$(cd "$folder" && printf '%s\nall.bin\nn\n' "$choice" | "$program" |
    awk 'shown { print; exit } /Affichage en base/ { getline; shown = 1 }')
  # The rows between the separator lines after the last heading.
  mapfile -t rows < <(tmux_ capture-pane -p -N -S - | awk '
    /Affichage en base/ { n = 0; getline; taking = 1; next }
    taking && /^[*]+$/ { taking = 0 }
    taking { row[++n] = $0 }
    END { for (i = 1; i <= n; i++) print row[i] }')
  ((${#rows[@]} > 1)) || fail "choice $choice at $width columns: fewer than two rows"
  for ((i = 0; i < ${#rows[@]}; i++)); do
    row=${rows[i]}
    [[ $row =~ ^([0-9A-F]+\ )+$ && ${#row} -le $width ]] ||
      fail "choice $choice at $width columns: row '$row' cuts a value"
    if ((i + 1 < ${#rows[@]})); then
      local next=${rows[i + 1]%% *}
      ((${#row} + ${#next} + 1 > width)) ||
        fail "choice $choice at $width columns: '$next' would have fitted after '$row'"
    fi
    joined+=$row
  done
  [[ $joined == "$piped" ]] || fail "choice $choice at $width columns: not the piped values"
}

MENU=" Votre choix : "
NAME="Nom du fichier TEXTE : "
CONTINUE=" Souhaitez-vous continuer ? (Y/n) : "

# The shell writes a line first, which the cleared screen must not show. The
# program runs in a UTF-8 locale, then, once a line is typed, in the C locale;
# the pane stays open afterwards until the server is killed.
run=$(printf %q "$program")
tmux_ new-session -d -x 120 -y 50 -c "$folder" \
  "echo 'avant le programme'; LC_ALL=C.UTF-8 $run; echo \"exit=\$?\"; read -r;
   LC_ALL=C $run; echo \"exit=\$?\"; exec sleep 600" \
  </dev/null
title=$(tmux_ display-message -p '#{pane_title}')

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

# At 100 columns 33 hexadecimal values fill 99; binary values are 9 wide.
for width in 80 100 37; do
  for choice in 4 5 6; do expect_byte_rows "$width" "$choice"; done
done
tmux_ resize-window -x 120

# Bytes show as the IBM PC symbols, UTF-8 ones included.
view_text utf8.txt
expect_line "$(printf 'caf\342\224\234\342\214\220')"
view_text symbols.bin
# The file has no line end: the separator line follows on the same row.
expect_line "A☺♥←ÇΘ█B****************************"

while read -r file shown; do
  view_text $file
  expect_line "$shown"
  expect_plain_screen $file
done <<'END'
title.txt avant←]0;TITRE•apres
charset.txt avant←(0apres
hidden.txt avant←[8mapres
dcs.txt avant←Papres
END
[[ $(tmux_ display-message -p '#{pane_title}') == "$title" ]] || fail "the window title changed"
view_text cr.txt
expect_line "user=alice password=hunter2♪************************"

# A typed name is echoed without acting on the terminal either: no new title,
# no other screen, no cursor report typed into the dialogue.
type_line y
wait_for_prompt "$MENU"
type_line 3
wait_for_prompt "$NAME"
type_line "$(printf '\033]0;NOM\007\033[?1049h\033[6n')"
wait_for_prompt "$CONTINUE"
expect_line "Impossible d'ouvrir le fichier '←]0;NOM•←[?1049h←[6n'****************************"
[[ $(tmux_ display-message -p '#{pane_title}') == "$title" ]] || fail "a name changed the title"

# A pass long enough to show its progress: everything the pane shows is kept,
# to find the percentage that the finished screen must no longer hold.
truncate -s 1G "$folder/big.bin"
tmux_ pipe-pane -o "cat >>$(printf %q "$folder/pane.log")"
type_line y
wait_for_prompt "$MENU"
type_line 7
wait_for_prompt "$NAME"
type_line big.bin
wait_for_prompt "(y/N) : "
type_line y
wait_for_prompt "(1 A 255) = "
type_line 1
TIMEOUT=60 wait_for_prompt "$CONTINUE"
tmux_ pipe-pane
rm -f "$folder/big.bin"
grep -aqE $'\r +[0-9]+ %' "$folder/pane.log" || fail "no progress was shown"
grep -aqF $'\r      \rFichier cryptE / dEcryptE' "$folder/pane.log" ||
  fail "the progress was not erased before the result"
screen | grep -qE '[0-9] %' && fail "the progress is still on the screen"
expect_line "Fichier cryptE / dEcryptE"

# The terminal's cursor report must not answer the continue question.
view_text report.txt
type_line n
wait_for_text "exit="
expect_line "exit=0"

# In the C locale, printable ASCII only.
type_line ""
wait_for_prompt "$MENU" "exit="
type_line 3
wait_for_prompt "$NAME"
type_line symbols.bin
wait_for_prompt "$CONTINUE"
expect_line "A......B****************************"
type_line n
wait_for_text "exit="
expect_line "exit=0"
[[ $(tmux_ display-message -p '#{pane_title}') == "$title" ]] || fail "the window title changed"

# The symbols follow the user's locale as the C library reads it: the codeset
# of an installed locale decides, whatever its name; only a locale that is not
# installed is judged by its name. Each run gets only the locale variables
# given, in a window of its own, and shows symbols.bin.
printf '3\nsymbols.bin\nn\n' >"$folder/symbols.in"
UTF8_ROW="A☺♥←ÇΘ█B****************************"
ASCII_ROW="A......B****************************"
windows=0
expect_symbols() {
  local wanted=$1 settings=$2 window=locale$((++windows)) deadline=$((SECONDS + TIMEOUT)) shown
  tmux_ new-window -d -n $window -c "$folder" \
    "env -u LC_ALL -u LC_CTYPE -u LANG -u LOCPATH $settings $run <symbols.in; echo exit=\$?;
     exec sleep 600"
  until shown=$(tmux_ capture-pane -p -N -t $window) && [[ $shown == *exit=* ]]; do
    ((SECONDS < deadline)) || fail "no end of the program with '$settings' after ${TIMEOUT}s"
    sleep 0.1
  done
  # The input is not typed, so nothing ends the last question's line.
  grep -q ' : exit=0$' <<<"$shown" && grep -qxF -- "$wanted" <<<"$shown" ||
    fail "with '$settings' the symbols are not '$wanted': $shown"
}
while read -r wanted settings; do
  expect_symbols "${!wanted}" "$settings"
done <<'END'
UTF8_ROW LANG=C.UTF-8
UTF8_ROW LC_CTYPE=C.UTF-8 LANG=C
ASCII_ROW LC_ALL=C LANG=C.UTF-8
ASCII_ROW LANG=C
ASCII_ROW
UTF8_ROW LC_ALL=fr_FR.UTF-8
UTF8_ROW LC_ALL=xx_XX.UTF-8
UTF8_ROW LC_CTYPE=xx_XX.utf8 LANG=C
ASCII_ROW LC_ALL=xx_XX LANG=C.UTF-8
END
# Locales of its own, installed in the test's folder: fr_FR.UTF-8, the same
# under a name that does not say UTF-8, and a Latin-1 one.
sources=/usr/share/i18n/locales/fr_FR
if command -v localedef >/dev/null && [ -f "$sources" ]; then
  locales=$folder/locales
  mkdir "$locales"
  # -c: the warnings localedef gives for Debian's own sources change nothing.
  localedef -c -i fr_FR -f UTF-8 "$locales/fr_FR.utf8" >"$folder/localedef.log" 2>&1 || true
  localedef -c -i fr_FR -f ISO-8859-1 "$locales/latin" >>"$folder/localedef.log" 2>&1 || true
  [ -f "$locales/fr_FR.utf8/LC_CTYPE" ] && [ -f "$locales/latin/LC_CTYPE" ] ||
    fail "localedef made no locale: $(cat "$folder/localedef.log")"
  cp -r "$locales/fr_FR.utf8" "$locales/francais"
  while read -r wanted settings; do
    expect_symbols "${!wanted}" "LOCPATH=$(printf %q "$locales") $settings"
  done <<'END'
UTF8_ROW LC_ALL=fr_FR.UTF-8
UTF8_ROW LC_ALL=francais
ASCII_ROW LC_ALL=latin
UTF8_ROW LANG=francais
ASCII_ROW LC_ALL=latin LANG=francais
END
else
  echo "terminal_session: no localedef or locale sources, installed locales not tried"
fi
end_server

# A terminal that takes no control sequence (TERM=dumb, then no TERM at all)
# gets none: everything it receives is kept to be searched.
for setting in "TERM=dumb" "-u TERM"; do
  rm -f "$folder/dumb.log"
  tmux_ new-session -d -x 120 -y 50 -c "$folder" "exec sleep 600" </dev/null
  tmux_ pipe-pane -o "cat >>$(printf %q "$folder/dumb.log")"
  tmux_ respawn-pane -k "env $setting LC_ALL=C.UTF-8 $run; echo exit=\$?; exec sleep 600"
  wait_for_prompt "$MENU"
  type_line 8
  wait_for_prompt "$CONTINUE"
  type_line n
  wait_for_text "exit=0"
  end_server
  LC_ALL=C grep -q $'\033' "$folder/dumb.log" && fail "env $setting received an escape sequence"
done

# On a screen narrower than the progress line, the line is cut and leaves no
# trail between the key and the result.
truncate -s 1G "$folder/big.bin"
tmux_ new-session -d -x 5 -y 60 -c "$folder" "LC_ALL=C.UTF-8 $run; exec sleep 600" </dev/null
# Wrapped rows are joined back before a prompt is looked for.
wait_for_joined() {
  local deadline=$((SECONDS + $2))
  until [[ $(tmux_ capture-pane -p -J | tr -d ' \n') == *"$1" ]]; do
    ((SECONDS < deadline)) || fail "no '$1' after $2 s"
    sleep 0.1
  done
}
for step in "Votrechoix:" 7 "TEXTE:" big.bin "(y/N):" y "255)=" 1; do
  if [[ $step == *:* || $step == *= ]]; then wait_for_joined "$step" 10; else type_line "$step"; fi
done
wait_for_joined "(Y/n):" 60
rm -f "$folder/big.bin"
shown=$(tmux_ capture-pane -p -J | tr -d ' \n')
[[ $shown == *"255)=1FichiercryptE/dEcryptE"* ]] || fail "the progress left a trail on a narrow screen"
echo "terminal_session: passed"
