#!/usr/bin/env bash
# Whole-program benchmark for octets: the built program against what the
# machine itself does with the same bytes, in one run.
#
#   bash bench/whole_program.sh [path/to/octets]
#
# The program path defaults to build/octets under the repository root.
# RUNS (default 30) sets how many timed runs each command gets.
#
#   start-up         a dialogue that does nothing ("0", "n")  vs /bin/true
#   encipher         enciphering a file in place              vs dd conv=notrunc,fdatasync
#   each byte view   to /dev/null                             vs cat F > /dev/null
#   through a pipe   hexadecimal view | cat > /dev/null       vs cat F | cat > /dev/null
#   line writer      200,000 piped lines of 43 characters     vs cat lines > file
#
# The file is 64 MiB of random bytes on a RAM file system (a tmpfs mounted for
# the run when started as root, else a temporary folder). Times are hyperfine's
# medians, ratios are octets / peer, and peak memory is the program's maximum
# resident set (/usr/bin/time %M) on the 64 MiB file and on a 1 MiB one (for
# the line writer: 200,000 lines and 20,000). The
# program's output is checked before anything is timed; slow figures never
# make the script fail.
set -euo pipefail

script_dir=$(cd -- "$(dirname -- "${BASH_SOURCE[0]}")" && pwd)
repo_root=$(cd -- "$script_dir/.." && pwd)

prog=${1:-$repo_root/build/octets}
[[ $prog == /* ]] || prog=$PWD/$prog
if [[ ! -f $prog || ! -x $prog ]]; then
  echo "whole_program.sh: '$prog' is not an executable file" >&2
  exit 2
fi

RUNS=${RUNS:-30}
if ! [[ $RUNS =~ ^[1-9][0-9]*$ ]]; then
  echo "whole_program.sh: RUNS must be a positive integer, not '$RUNS'" >&2
  exit 2
fi

# Installed when missing and this runs as root, as the tests' own tools are;
# otherwise the script names them and ends with status 77.
bash "$repo_root/tests/ensure_packages.sh" bench
for tool in hyperfine od dd cat cmp awk /usr/bin/time; do
  command -v "$tool" > /dev/null || {
    echo "whole_program.sh: '$tool' is needed (hyperfine: apt-get install hyperfine)" >&2
    exit 2
  }
done

work=$(mktemp -d)
mounted=0
cleanup() {
  cd /
  if ((mounted)); then umount -- "$work" || true; fi
  rm -rf -- "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
if ((EUID == 0)) && mount -t tmpfs -o size=256m octets-bench "$work" 2> /dev/null; then
  mounted=1
  where="tmpfs mounted on $work"
else
  where="$work ($(df --output=fstype "$work" 2> /dev/null | tail -n 1 || echo '?'))"
fi
# The program takes short file names relative to the folder it runs in.
cd -- "$work"

die() {
  echo "whole_program.sh: $*" >&2
  exit 1
}

head -c $((64 * 1024 * 1024)) /dev/urandom > F
head -c $((1024 * 1024)) /dev/urandom > S
key=90
# The dialogues, as files, so that hyperfine's shell only redirects.
printf '0\nn\n' > nothing.in
printf '4\nF\nn\n' > decimal.in
printf '5\nF\nn\n' > hexadecimal.in
printf '6\nF\nn\n' > binary.in
printf '7\nF\ny\n%s\nn\n' "$key" > encipher.in
for view in decimal hexadecimal binary; do sed 's/^F$/S/' "$view.in" > "$view.small.in"; done
sed 's/^F$/S/' encipher.in > encipher.small.in
# 43 characters and a line end each, as a script would pipe a file in.
awk 'BEGIN { for (i = 0; i < 200000; i++) printf "ligne %06d qu\047un script ajoute au fichier\n", i }' > lines
{ printf '1\nL\n'; cat lines; printf 'fin\nn\n'; } > lines.in
{ printf '1\nL\n'; head -n 20000 lines; printf 'fin\nn\n'; } > lines.small.in

# ------------------------------------------------------------------ sanity
# Each view of the small file, value by value, against od; enciphering twice
# with the same key must give the file back.
shown_values() {
  awk '/^\*\*\*\*/ { rows++; next } rows == 1' | tr -s ' ' '\n' | sed '/^$/d'
}
od -An -v -tu1 S | tr -s ' ' '\n' | sed '/^$/d' > decimal.expected
od -An -v -tx1 S | tr -s ' ' '\n' | sed '/^$/d' | tr 'a-f' 'A-F' > hexadecimal.expected
od -An -v -tu1 S | tr -s ' ' '\n' | sed '/^$/d' \
  | awk '{ s = ""; for (b = 128; b >= 1; b /= 2) s = s (int($1 / b) % 2); print s }' \
  > binary.expected
for view in decimal hexadecimal binary; do
  "$prog" < "$view.small.in" | shown_values > shown.txt || die "octets failed ($view view)"
  cmp -s "$view.expected" shown.txt || die "the $view view of the 1 MiB file is wrong"
done
cp S S.saved
"$prog" < encipher.small.in > /dev/null || die "octets failed (encipher)"
cmp -s S S.saved && die "enciphering with key $key left the file unchanged"
"$prog" < encipher.small.in > /dev/null || die "octets failed (encipher)"
cmp -s S S.saved || die "enciphering twice with key $key did not give the file back"
"$prog" < lines.in > /dev/null || die "octets failed (line writer)"
cmp -s L lines || die "the line writer did not write the lines as they were piped"
rm -f S.saved shown.txt ./*.expected

# ------------------------------------------------------------------ timing
# time_pair NAME OCTETS_COMMAND PEER_COMMAND: hyperfine runs both; the medians
# in milliseconds land in octets_ms[NAME] and peer_ms[NAME].
declare -A octets_ms peer_ms peak_big peak_small
time_pair() {
  echo "timing $1 ..." >&2
  hyperfine --style none --warmup 3 --runs "$RUNS" --export-json "$1.json" "$2" "$3" > /dev/null
  local medians
  medians=$(grep -o '"median": *[0-9.e+-]*' "$1.json" | awk '{ printf "%.2f ", $2 * 1000 }')
  read -r octets_ms[$1] peer_ms[$1] <<< "$medians"
}

# peak NAME DIALOGUE: the program's peak resident set in KiB.
peak() {
  /usr/bin/time -f %M -o peak.txt "$prog" < "$2" > /dev/null || die "octets failed ($1)"
  tail -n 1 peak.txt
}

time_pair start-up "'$prog' < nothing.in > /dev/null" "/bin/true"
peak_big[start-up]=$(peak start-up nothing.in)
peak_small[start-up]=${peak_big[start-up]}

time_pair encipher "'$prog' < encipher.in > /dev/null" \
  "dd if=F of=F bs=128K conv=notrunc,fdatasync status=none"
peak_big[encipher]=$(peak encipher encipher.in)
peak_small[encipher]=$(peak encipher encipher.small.in)

for view in hexadecimal decimal binary; do
  time_pair "$view" "'$prog' < $view.in > /dev/null" "cat F > /dev/null"
  peak_big[$view]=$(peak "$view" "$view.in")
  peak_small[$view]=$(peak "$view" "$view.small.in")
done

time_pair pipe "'$prog' < hexadecimal.in | cat > /dev/null" "cat F | cat > /dev/null"
peak_big[pipe]=${peak_big[hexadecimal]}
peak_small[pipe]=${peak_small[hexadecimal]}

time_pair lines "'$prog' < lines.in > /dev/null" "cat lines > L2"
peak_big[lines]=$(peak lines lines.in)
peak_small[lines]=$(peak lines lines.small.in)

# ------------------------------------------------------------------ table
declare -A peer_name=(
  [start-up]='/bin/true'
  [encipher]='dd conv=notrunc,fdatasync'
  [hexadecimal]='cat F'
  [decimal]='cat F'
  [binary]='cat F'
  [pipe]='cat F | cat'
  [lines]='cat lines > file'
)
declare -A target=([start-up]=1.4 [encipher]=1.10 [hexadecimal]=2.0 [decimal]=2.8 [binary]=2.5 [lines]=2.5)

echo
echo "octets: $prog"
echo "file: 64 MiB of random bytes on $where; medians of $RUNS runs"
printf '%-12s %10s  %-26s %9s %7s %7s %-6s %11s %10s %s\n' \
  what 'octets ms' peer 'peer ms' ratio target result 'peak big' 'peak small' memory
for what in start-up encipher hexadecimal decimal binary pipe lines; do
  o=${octets_ms[$what]}
  p=${peer_ms[$what]}
  r=$(awk -v o="$o" -v p="$p" 'BEGIN { if (p > 0) printf "%.2f", o / p; else print "inf" }')
  t=${target[$what]:-}
  if [[ -z $t ]]; then
    result=-
  elif awk -v r="$r" -v t="$t" 'BEGIN { exit !(r != "inf" && r <= t) }'; then
    result=met
  else
    result=MISSED
  fi
  big=${peak_big[$what]}
  small=${peak_small[$what]}
  # Under 8 MiB, and flat: the 64 MiB file needs no more than the 1 MiB one.
  if ((big < 8192 && big - small <= 256)); then memory=met; else memory=MISSED; fi
  printf '%-12s %10s  %-26s %9s %7s %7s %-6s %8s KiB %6s KiB %s\n' \
    "$what" "$o" "${peer_name[$what]}" "$p" "$r" "${t:--}" "$result" "$big" "$small" "$memory"
done
