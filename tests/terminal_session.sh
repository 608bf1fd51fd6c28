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
printf "$(printf '\\%03o' {0..255})" >"$folder/all.bin"
printf 'A\001\003\033\200\351\333B' >"$folder/symbols.bin"
# Writes `count` (a power of two) copies of all.bin end to end into `file`.
all_bytes_times() {
  local count=$1 file=$2 n
  cp "$folder/all.bin" "$file"
  for ((n = 1; n < count; n *= 2)); do cat "$file" "$file" >"$file.next" && mv "$file.next" "$file"; done
}

screen() { tmux_ capture-pane -p -N; }
# The rows `window` has shown, from the first, with -e their colours too.
shown_in() { tmux_ capture-pane -p -N -S - -t "$@"; }

fail() {
  echo "terminal_session: $1" >&2
  echo "--- screen ---" >&2
  screen >&2
  exit 1
}

# Runs the command after `what` every `step` seconds until it succeeds; fails
# with "no `what`" after TIMEOUT seconds.
poll() {
  local step=$1 what=$2 deadline=$((SECONDS + TIMEOUT))
  shift 2
  until "$@"; do ((SECONDS < deadline)) || fail "no $what after ${TIMEOUT}s"; sleep "$step"; done
}

# Whether the text just before the cursor is `prompt`, that is whether the
# prompt is shown and the program waits right after it, with `gone` (if given)
# nowhere on the screen.
at_prompt() {
  local prompt=$1 gone=${2:-} x y shown line
  read -r x y < <(tmux_ display-message -p '#{cursor_x} #{cursor_y}')
  shown=$(screen)
  line=$(sed -n "$((y + 1))p" <<<"$shown")
  [[ ${line:0:x} == *"$prompt" && ( -z $gone || $shown != *"$gone"* ) ]]
}
wait_for_prompt() { poll 0.1 "prompt '$1' at the cursor" at_prompt "$@"; }
shows() { [[ $(screen) == *"$1"* ]]; }
wait_for_text() { poll 0.1 "'$1'" shows "$1"; }
# Waits until the program in `window` has ended: it shows its exit status.
ended_in() { [[ $(shown_in "$1") == *exit=* ]]; }
wait_for_exit() { poll 0.1 "end of the program in window $1 ${2:-}" ended_in "$1"; }

# Holds the program of a window (the current one by default) still for a
# moment once its pass over big.bin has begun, so that the pass outlasts the
# half second before its progress shows, however fast the machine is.
hold_mid_pass() {
  local pane pid=
  pane=$(tmux_ display-message -p ${1:+-t "$1"} '#{pane_pid}')
  passing() {
    pid=$(pgrep -P "$pane" -x "$(basename "$program")") &&
      (($(awk '$1 == "wchar:" { print $2 }' "/proc/$pid/io" 2>/dev/null || echo 0) > 8 << 20))
  }
  poll 0.01 "pass over big.bin" passing
  kill -STOP "$pid"
  sleep 0.7
  kill -CONT "$pid"
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
# Types each answer and waits for the prompt given after it.
answer() {
  while (($#)); do type_line "$1"; wait_for_prompt "$2"; shift 2; done
}
# From the continue question, says no and checks that the program ended well.
answer_no() { type_line n; wait_for_text "exit="; expect_line "exit=0"; }

# From the continue question: goes on, makes the choice and shows `file`,
# every screenful of it.
PAGE="-- EntrEe : la suite ; q : fin de l'affichage --"
# Whether the cursor ends the pager's prompt, cut to a narrow screen's width.
at_page() {
  local x y line
  read -r x y < <(tmux_ display-message -p '#{cursor_x} #{cursor_y}')
  line=$(screen | sed -n "$((y + 1))p")
  ((x > 8)) && [[ $line == "${line:0:x}" && $PAGE == "$line"* ]]
}
at_end_or_page() { at_prompt "$CONTINUE" || at_page; }
scrolled_from() { [[ $(tmux_ display-message -p '#{history_size}') != "$1" ]]; }
view_file() {
  answer y "$MENU" "$1" "$NAME"
  type_line "$2"
  poll 0.1 "end of the view or its prompt" at_end_or_page
  local history
  while at_page; do
    history=$(tmux_ display-message -p '#{history_size}')
    type_line ""
    poll 0.1 "next screenful" scrolled_from "$history"
    poll 0.1 "end of the view or its prompt" at_end_or_page
  done
}
view_text() { view_file 3 "$1"; }

# The menu's first row and its last, which waits for the choice, and the
# continue question, as the dialogue cases show them.
cases=$(realpath "$(dirname "$0")/dialogues")
MENU_ROW=$(sed -n 2p "$cases/end-of-input-at-menu/output")
MENU=$(tail -n 1 "$cases/end-of-input-at-menu/output")
CONTINUE=$(tail -n 1 "$cases/choice-zero-runs-nothing/output")
NAME="Nom du fichier TEXTE : "

# The shell writes a line first, which the cleared screen must not show. The
# pane stays open afterwards until the server is killed.
run=$(printf %q "$program")
tmux_ new-session -d -x 120 -y 50 -c "$folder" \
  "echo 'avant le programme'; LC_ALL=C.UTF-8 $run; echo \"exit=\$?\"; exec sleep 600" </dev/null

wait_for_prompt "$MENU"
expect_row 1 "$MENU_ROW"
screen | grep -q 'avant le programme' && fail "the screen was not cleared"

# Only the program clearing the screen can take the typed answer off it.
tmux_ send-keys -l -- "$(printf '1%.0s' {1..150})"
wait_for_text 1111111111
tmux_ send-keys Enter
wait_for_prompt "$MENU" 1111111111
expect_row 1 "$MENU_ROW"

answer 5 "$NAME"
expect_row 0 "$NAME"
answer hex.bin "$CONTINUE"

# --- The rows of the byte views and the text view's symbols ---
# Each row of a byte view: the position of its first byte, its values, their
# symbols (tests/check_rows.py, with its own copy of the code page 437 table).
# rows.bin holds every byte value, then a last row that is not full. Each
# width has a session of its own, whose program has its answers piped so that
# it never waits; 0 columns is a terminal that reports a size of 0 x 0, which
# counts as 80 columns; in the C locale the symbols are ASCII.
check_rows() { python3 "$(dirname "$0")/check_rows.py" "$@"; }
{ cat "$folder/all.bin"; printf 'caf\303\251'; } >"$folder/rows.bin"
printf '4\nrows.bin\ny\n5\nrows.bin\ny\n6\nrows.bin\nn\n' >"$folder/rows.in"
widths='0 40 80 100 200 20 80-C'
for width in $widths; do
  columns=${width%-C} locale=C.UTF-8 size=
  [[ $width == *-C ]] && locale=C
  ((columns > 0)) || { columns=120 size="stty rows 0 cols 0;"; }
  tmux_ new-session -d -s "rows$width" -x "$columns" -y 50 -c "$folder" \
    "$size LC_ALL=$locale $run <rows.in; printf '\\nexit=%s\\n' \$?; exec sleep 600" </dev/null
done
for width in $widths; do
  wait_for_exit "rows$width"
  symbols=
  [[ $width == *-C ]] && symbols=ascii
  [[ $(shown_in "rows$width" -J | check_rows "$folder/rows.bin" "${width%-C}" $symbols) == 3 ]] ||
    fail "at $width columns: not three views of rows"
  tmux_ kill-session -t "rows$width"
done

# The text view shows a zero byte, and what follows it in its piece.
printf 'A\0B\nC\0\0D\n' >"$folder/zero.txt"
view_text zero.txt
expect_line "A◦B"
expect_line "C◦◦D"
# --- end of the rows ---

# Clearing keeps the terminal's history: after a long view and "y" the menu is
# at the top of the screen, and the whole view is still there to scroll back
# to, row for row, up to the continue question.
all_bytes_times 64 "$folder/long.bin"
view_file 5 long.bin
answer y "$MENU"
expect_row 1 "$MENU_ROW"
screen | grep -q 'Affichage en base' && fail "the view is still on the screen under the menu"
kept=$(tmux_ capture-pane -p -N -S - | awk -v question="${CONTINUE% }" '
  / = 16384 octets ; Affichage en base 16$/ { taking = 1 }
  taking { print }
  taking && /^[*]+$/ && ++separators == 2 { getline; getline; if (!index($0, question)) print "|no question"; exit }')
[[ $kept != *"|no question" && $(check_rows "$folder/long.bin" 120 <<<"$kept") == 1 ]] ||
  fail "after 'y' the history does not hold the whole view ($(tmux_ display-message -p '#{history_size}') rows)"

answer 0 "$CONTINUE"
answer_no

# The symbols follow the user's locale as the C library reads it: the codeset
# of an installed locale decides, whatever its name; only a locale that is not
# installed is judged by its name. Each run gets only the locale variables
# given, in a window of its own, and shows symbols.bin.
printf '3\nsymbols.bin\nn\n' >"$folder/symbols.in"
UTF8_ROW="A☺♥←ÇΘ█B****************************"
ASCII_ROW="A......B****************************"
windows=0
expect_symbols() {
  local wanted=$1 settings=$2 window=locale$((++windows)) shown
  tmux_ new-window -d -n $window -c "$folder" \
    "env -u LC_ALL -u LC_CTYPE -u LANG -u LOCPATH $settings $run <symbols.in; echo exit=\$?;
     exec sleep 600"
  wait_for_exit $window "with '$settings'"
  shown=$(shown_in $window)
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

# On a screen narrower than the progress line, the line is cut and leaves no
# trail between the key and the result.
truncate -s 1G "$folder/big.bin"
tmux_ new-session -d -x 5 -y 60 -c "$folder" "LC_ALL=C.UTF-8 $run; exec sleep 600" </dev/null
# Wrapped rows are joined back before a prompt is looked for.
joined_ends() { [[ $(tmux_ capture-pane -p -J | tr -d ' \n') == *"$1" ]]; }
for step in "${MENU// /}" 7 "TEXTE:" big.bin "(y/N):" y "255)=" 1; do
  if [[ $step == *:* || $step == *= ]]; then poll 0.1 "'$step'" joined_ends "$step"; else type_line "$step"; fi
done
hold_mid_pass
TIMEOUT=60 poll 0.1 "continue question" joined_ends "${CONTINUE// /}"
rm -f "$folder/big.bin"
shown=$(tmux_ capture-pane -p -J | tr -d ' \n')
[[ $shown == *"255)=1FichiercryptE/dEcryptE"* ]] || fail "the progress left a trail on a narrow screen"
# The checks below each have a server of their own.
tmux_ has-session 2>/dev/null && end_server

# A window narrowed during a long view without colours: the rows that follow
# take its new width. The program is stopped while the window changes, so that
# most of the view certainly comes after the change.
all_bytes_times 8192 "$folder/resized.bin"
# The answers are piped, so that the view does not wait after each screenful.
tmux_ new-session -d -x 120 -y 50 -c "$folder" \
  "(printf '5\\nresized.bin\\n'; exec sleep 600) | env NO_COLOR=1 LC_ALL=C.UTF-8 $run" </dev/null
tty=$(tmux_ display-message -p '#{pane_tty}')
poll 0.01 "program" eval 'pid=$(pgrep -P "$(tmux_ display-message -p "#{pane_pid}")" -x "$(basename "$program")")'
# Stopped once it has written more than the first 64 KiB chunk's rows (about
# 370 KB of 11.6 MB): it has looked at the width by then, and has 31 chunks
# to come.
written() { awk '$1 == "wchar:" { print $2 }' "/proc/$pid/io"; }
wrote_the_first_rows() { (($(written) > 400000)); }
poll 0.01 "view of resized.bin" wrote_the_first_rows
kill -STOP "$pid"
written=$(written)
((written < 10 * 1024 * 1024)) ||
  fail "the view had nearly ended ($written bytes written) before the window changed"
tmux_ resize-window -x 50
# tmux gives the terminal its new size a moment later.
narrowed() { [[ $(stty -F "$tty" size) == *" 50" ]]; }
poll 0.01 "narrower terminal" narrowed
kill -CONT "$pid"
wait_for_prompt "$CONTINUE"
# The last 100 rows of the view must be rows for 50 columns.
mapfile -t rows < <(tmux_ capture-pane -p -N -S -200 | awk '
  /^[*]+$/ { for (i = n > 100 ? n - 99 : 1; i <= n; i++) print row[i]; exit }
  { row[++n] = $0 }')
((${#rows[@]} == 100)) || fail "fewer than 100 rows of the view after the resize"
printf '%s\n' "${rows[@]}" | check_rows "$folder/resized.bin" 50 --tail 16 ||
  fail "after the window was narrowed to 50 columns, the rows are not rows for 50 columns"
end_server

# Programs given their answers through a pipe at a terminal (xterm-256color,
# UTF-8), each in a window of its own and all at once; everything each window
# receives is kept in WINDOW.log.
printf 'A\0\n\001\200~\0 \177\377' >"$folder/kinds.bin"
printf 'A\001\200~\177\351' >"$folder/kinds.txt"
truncate -s 1G "$folder/big.bin"
# 200 columns: each byte view of kinds.bin is one row.
tmux_ new-session -d -x 200 -y 50 -c "$folder" "exec sleep 600" </dev/null
piped_windows=()
start_piped() {
  local window=$1 answers=$2 settings=${3:-}
  tmux_ new-window -d -n "$window" -c "$folder" "exec sleep 600"
  tmux_ pipe-pane -t "$window" -o "cat >>$(printf %q "$folder/$window.log")"
  tmux_ respawn-pane -t "$window" -k "printf '$answers' | env -u NO_COLOR TERM=xterm-256color \
    LC_ALL=C.UTF-8 $settings $run; echo exit=\$?; exec sleep 600"
  piped_windows+=("$window")
}
start_piped crypt '7\nbig.bin\ny\n1\nn\n'
hold_mid_pass crypt
start_piped colours '4\nkinds.bin\ny\n5\nkinds.bin\ny\n6\nkinds.bin\ny\n3\nkinds.txt\nn\n'
start_piped no_colour '5\nkinds.bin\ny\n3\nkinds.txt\nn\n' NO_COLOR=1
start_piped dumb '5\nkinds.bin\ny\n3\nkinds.txt\nn\n' TERM=dumb
start_piped no_term '5\nkinds.bin\ny\n3\nkinds.txt\nn\n' "env -u TERM"
for window in "${piped_windows[@]}"; do
  TIMEOUT=60 wait_for_exit "$window"
  shown_in "$window" | grep -q 'exit=0$' || fail "window $window: $(shown_in "$window")"
done
rm -f "$folder/big.bin"

# Nothing ends the key prompt's row when the answers are piped in: the
# percentage must not overwrite it.
grep -aqE $'\r +[0-9]+ %' "$folder/crypt.log" || fail "no progress was shown for piped answers"
grep -aqF $'\r      \rFichier cryptE / dEcryptE' "$folder/crypt.log" ||
  fail "the progress was not erased before the result"
shown_in crypt | grep -qxF \
  "Souhaitez vous crypter/dEcrypter ? (y/N) : ClE de cryptage/dEcryptage (1 A 255) = " ||
  fail "the progress overwrote the prompt: $(shown_in crypt)"
shown_in crypt | grep -qxF "Fichier cryptE / dEcryptE" || fail "no result on a row of its own"

# Each row of a capture with colours (capture-pane -e) as the look of each of
# its characters, a tab and the text: "." the usual colour, "a" to "p" the 16 colours of the palette, "#"
# any other colour, capitals in bold, and a space for a space. The colour set
# goes on from one row to the next, as tmux writes it.
looks() {
  LC_ALL=C awk '
    BEGIN { for (i = 128; i < 192; i++) follow = follow sprintf("%c", i); look = "." }
    {
      line = $0; looks = ""; text = ""
      while (line != "") {
        if (substr(line, 1, 2) == "\033[" && (end = index(line, "m")) > 0) {
          n = split(substr(line, 3, end - 3), codes, /[;:]/)
          line = substr(line, end + 1)
          for (i = 1; i <= n; i++) {
            c = codes[i] + 0
            if (c == 0) { look = "."; bold = 0 }
            else if (c == 1) bold = 1
            else if (c == 22) bold = 0
            else if (c >= 30 && c <= 37) look = sprintf("%c", 97 + c - 30)
            else if (c >= 90 && c <= 97) look = sprintf("%c", 105 + c - 90)
            else if (c == 39) look = "."
            else if (c == 38) { look = "#"; i += codes[i + 1] == 5 ? 2 : 4 }
          }
          continue
        }
        character = substr(line, 1, 1)
        line = substr(line, 2)
        text = text character
        if (index(follow, character)) continue
        looks = looks (character == " " ? " " : bold ? toupper(look) : look)
      }
      print looks "\t" text
    }
  '
}

# Colours by kind of byte. kinds.bin holds two bytes of each kind: zero (Z),
# printable (P), white space (W), other control (C) and high (H); kinds.txt
# the kinds the text view shows. In the three byte views, the bytes of one
# kind share one colour, bytes of different kinds differ; each symbol, in the
# rows of the byte views and in the text view, has its value's colour.
declare -A colour_of=()
byte_kinds=(P Z W C H P Z W C H) text_kinds=(P C H P C H)
shown=$(shown_in colours -e | looks)
# The rows of the three views, in order: the position 0, the values, a space
# and the ten symbols, of which those of the space and of 255 are blank, in
# any colour.
mapfile -t rows < <(grep -E $'\t0 ( *[0-9A-F]+ )+ ' <<<"$shown")
((${#rows[@]} == 3)) || fail "not three rows of values: $shown"
for view in 0 1 2; do
  row=${rows[view]}
  looks=${row%%$'\t'*}
  read -ra values <<<"${row:${#looks} + 3:${#looks} - 13}"
  read -ra colours <<<"${looks:2:${#looks} - 13}"
  symbols=${looks: -10}
  ((${#values[@]} == 10 && ${#colours[@]} == 10)) || fail "not 10 values: '$row'"
  for ((i = 0; i < 10; i++)); do
    [[ ${symbols:i:1} == "${colours[i]:0:1}" || $i == [79] ]] ||
      fail "view $((view + 4)): the symbol of ${values[i]} is not in its value's colour: '$row'"
    [[ -z ${colours[i]//"${colours[i]:0:1}"/} && ${colours[i]:0:1} != . ]] ||
      fail "view $((view + 4)): value ${values[i]} is not in one colour ('${colours[i]}')"
    kind=${byte_kinds[i]}
    : "${colour_of[$kind]:=${colours[i]:0:1}}"
    [[ ${colour_of[$kind]} == "${colours[i]:0:1}" ]] ||
      fail "view $((view + 4)): value ${values[i]} of kind $kind is not in that kind's colour"
  done
done
[[ $(printf '%s\n' "${colour_of[@]}" | sort -u | wc -l) == 5 ]] ||
  fail "the five kinds do not have five colours: $(declare -p colour_of)"
row=$(grep -F "$(printf '\tA\342\230\272')" <<<"$shown") || fail "no symbols of kinds.txt"
for ((i = 0; i < ${#text_kinds[@]}; i++)); do
  kind=${text_kinds[i]}
  [[ ${row:i:1} == "${colour_of[$kind]}" ]] ||
    fail "in the text view, symbol $((i + 1)) of kind $kind is not in its value's colour: '$row'"
done

# No colour where it is not wanted: nothing the terminal received sets one
# with NO_COLOR set; a terminal that takes no control sequence (TERM=dumb, no
# TERM at all) receives none, not even the clearing of the screen.
for window in no_colour dumb no_term; do
  shown_in "$window" | grep -qF "41 00 0A 01 80 7E 00 20 7F FF" ||
    fail "window $window shows no values"
  LC_ALL=C grep -aqE $'\033\\[[0-9;]*m' "$folder/$window.log" && fail "window $window has colours"
  [[ $window == no_colour ]] || ! LC_ALL=C grep -aq $'\033' "$folder/$window.log" ||
    fail "window $window received an escape sequence"
done
end_server

# ---- Long views a screenful at a time, why an open failed, the colour after
# a signal, the progress after answers typed ahead. Each has a server of its
# own, 80 x 20, in colour, the answers typed at the terminal.
start_typed() {
  tmux_ new-session -d -x 80 -y 20 -c "$folder" \
    "env -u NO_COLOR LC_ALL=C.UTF-8 TERM=xterm-256color ${1:-$run; echo exit=\$?}; exec sleep 600" </dev/null
}
# The prompt must be in the usual colour and shown nowhere else.
expect_one_prompt() {
  [[ $(tmux_ capture-pane -p -N -S - | grep -cF -- "$PAGE") == 1 ]] || fail "the prompt was not erased"
  tmux_ capture-pane -p -e | looks | grep -qxF -- "$(tr -c ' \n' . <<<"$PAGE")	$PAGE" ||
    fail "the prompt is not in the usual colour"
}
seq -f 'ligne %g' 60 >"$folder/lines.txt"
start_typed
wait_for_prompt "$MENU"
answer 3 "$NAME" lines.txt "$PAGE"
# 19 rows, the name's row scrolled away, then the prompt: Enter shows the next
# 19 rows and "q" ends the view, which the separator and question follow.
expect_row 0 "Rappel : N'affiche que les caractEres imprimables"
expect_row 18 "ligne 16"
expect_one_prompt
answer "" "$PAGE"
expect_row 0 "ligne 17"
expect_row 18 "ligne 35"
expect_one_prompt
answer q "$CONTINUE"
expect_row 16 "ligne 35"
expect_row 17 "****************************"
tmux_ capture-pane -p -N -S - | grep -qF -e "$PAGE" -e "ligne 36" && fail "'q' did not end the view"
# At a screen a failed open says why, on a row of its own. The file to write
# into is /proc's: not even root may read it.
mkdir "$folder/dossier"
mkfifo "$folder/tube"
while IFS='|' read -r choice name reason; do
  answer y "$MENU" "$choice" "$NAME" "$name" "$CONTINUE"
  [[ $(screen) == *"Impossible d'ouvrir le fichier '$name'"$'\n'"$reason"$'\n'"****"* ]] ||
    fail "opening '$name' does not say '$reason'"
done <<'END'
5|absent.bin|Le fichier n'existe pas
3|dossier|C'est un dossier
4|tube|C'est un pEriphErique, un tube ou une socket, pas un fichier
6|/dev/null|C'est un pEriphErique, un tube ou une socket, pas un fichier
2|lines.txt/x|Un nom du chemin n'est pas celui d'un dossier
3|/proc/sys/vm/drop_caches|Droits insuffisants pour lire ou Ecrire ce fichier
END
# A byte view starts with its size line; the end of input at its prompt ends
# the view and the program.
all_bytes_times 4 "$folder/paged.bin"
answer y "$MENU" 5 "$NAME" paged.bin "$PAGE"
expect_row 0 " = 1024 octets ; Affichage en base 16"
expect_one_prompt
tmux_ send-keys C-d
wait_for_text "exit="
expect_line "exit=0"
[[ $(screen) == *"****************************"$'\n\n'"$CONTINUE"* ]] || fail "no question after the end of input"

end_server

# Ctrl-C or another signal during a long coloured view (its answers from a
# file, so that it does not wait): the shell's next output has the usual colour.
all_bytes_times 65536 "$folder/long.bin"
printf '5\nlong.bin\n' >"$folder/long.in"
start_typed "bash --norc"
shell=$(pgrep -P "$(tmux_ display-message -p '#{pane_pid}')" -x bash)
viewing() {
  pid=$(pgrep -P "$shell" -x "$(basename "$program")") &&
    (($(awk '$1 == "wchar:" { print $2 }' "/proc/$pid/io" 2>/dev/null || echo 0) > 1 << 20))
}
while read -r status stop; do
  type_line "$run <long.in"
  poll 0.01 "view of long.bin" viewing
  eval "$stop"
  type_line "echo apres \$?"
  wait_for_text "apres $status"
  [[ $(tmux_ capture-pane -p -e | looks | grep -F $'\tapres' | tail -n 1) == $'..... ...\tapres '$status ]] ||
    fail "the colour stayed after '$stop'"
done <<'END'
130 tmux_ send-keys C-c
143 kill -TERM "$pid"
129 kill -HUP "$pid"
END
rm -f "$folder/long.bin"
end_server

# Answers typed while the program is stopped: their echo comes before the
# prompts, and the percentage must not overwrite the key prompt's row.
truncate -s 1G "$folder/big.bin"
start_typed
wait_for_prompt "$MENU"
pid=$(pgrep -P "$(tmux_ display-message -p '#{pane_pid}')" -x "$(basename "$program")")
kill -STOP "$pid"
for line in 7 big.bin y 1; do type_line "$line"; done
kill -CONT "$pid"
hold_mid_pass
TIMEOUT=60 wait_for_prompt "$CONTINUE"
rm -f "$folder/big.bin"
tmux_ capture-pane -p -J | grep -A1 -xF \
  "Souhaitez vous crypter/dEcrypter ? (y/N) : ClE de cryptage/dEcryptage (1 A 255) = " |
  grep -qxF "Fichier cryptE / dEcryptE" || fail "the progress overwrote the key prompt typed ahead"
end_server

echo "terminal_session: passed"
