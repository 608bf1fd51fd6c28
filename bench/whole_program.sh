#!/usr/bin/env bash
# Whole-program benchmark for octets.
#
#   bash bench/whole_program.sh [path/to/octets]
#
# The program path defaults to build/octets under the repository root; a
# relative path is taken from the folder the script is started in.
# RUNS (default 5) sets how many timed runs each side of every pair gets.
#
# It times the three byte views against od / xxd and the encipherer against
# cp on a 64 MiB random file, runs interleaved so machine noise hits both
# sides, then measures peak resident memory on a 1 MiB and a 64 MiB file.
# Slow figures never make it fail; a non-zero exit of the program, or wrong
# output in the sanity checks done before timing, does.
set -euo pipefail

script_dir=$(cd -- "$(dirname -- "${BASH_SOURCE[0]}")" && pwd)
repo_root=$(cd -- "$script_dir/.." && pwd)

prog=${1:-$repo_root/build/octets}
case $prog in
  /*) ;;
  *) prog=$PWD/$prog ;;
esac
prog_dir=$(cd -- "$(dirname -- "$prog")" 2>/dev/null && pwd) || {
  echo "whole_program.sh: no folder for '$prog'" >&2
  exit 2
}
prog=$prog_dir/$(basename -- "$prog")
if [[ ! -f $prog || ! -x $prog ]]; then
  echo "whole_program.sh: '$prog' is not an executable file" >&2
  exit 2
fi

RUNS=${RUNS:-5}
if ! [[ $RUNS =~ ^[1-9][0-9]*$ ]]; then
  echo "whole_program.sh: RUNS must be a positive integer, not '$RUNS'" >&2
  exit 2
fi

for tool in od xxd cp cmp awk /usr/bin/time; do
  command -v "$tool" > /dev/null || {
    echo "whole_program.sh: '$tool' is needed" >&2
    exit 2
  }
done

work=$(mktemp -d)
trap 'rm -rf -- "$work"' EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 141' PIPE
trap 'exit 143' TERM
# The program takes file names of at most 28 characters, relative to the
# current folder: work from inside the temporary folder with short names.
cd -- "$work"

big=big.bin
small=small.bin
big_size=67108864
small_size=1048576
key=90

die() {
  echo "whole_program.sh: $*" >&2
  exit 1
}

# Microseconds since the epoch; the decimal mark depends on the locale.
now_us() {
  local t=$EPOCHREALTIME
  echo "${t//[!0-9]/}"
}

# The dialogues.  choice 4/5/6 = decimal/hexadecimal/binary view.
view_dialogue() { printf '%s\n%s\nn\n' "$1" "$2"; }
encipher_dialogue() { printf '7\n%s\ny\n%s\nn\n' "$1" "$key"; }

# run_view CHOICE FILE: the program's view of FILE, to standard output.
run_view() {
  local status=0
  view_dialogue "$1" "$2" | "$prog" || status=$?
  ((status == 0)) || die "octets exited with status $status (view $1 of $2)"
}

run_encipher() {
  local status=0
  encipher_dialogue "$1" | "$prog" > /dev/null || status=$?
  ((status == 0)) || die "octets exited with status $status (encipher $1)"
}

ref_view() {
  case $1 in
    4) od -An -v -tu1 "$2" ;;
    5) xxd -p "$2" ;;
    6) xxd -b "$2" ;;
  esac
}

ref_name() {
  case $1 in
    4) echo 'od -An -v -tu1' ;;
    5) echo 'xxd -p' ;;
    6) echo 'xxd -b' ;;
  esac
}

view_name() {
  case $1 in
    4) echo decimal ;;
    5) echo hexadecimal ;;
    6) echo binary ;;
  esac
}

# One value per line: what each view should show for FILE.
expected_values() {
  case $1 in
    4) od -An -v -tu1 "$2" | tr -s ' ' '\n' | sed '/^$/d' ;;
    5) od -An -v -tx1 "$2" | tr -s ' ' '\n' | sed '/^$/d' | tr 'a-f' 'A-F' ;;
    6) xxd -b -c 1 "$2" | awk '{ print $2 }' ;;
  esac
}

# One value per line: what the program showed, taken from between the first
# two rows of asterisks that frame the values.
shown_values() {
  awk '/^\*\*\*\*/ { rows++; next } rows == 1' \
    | tr -s ' \t\r' '\n' | sed '/^$/d' | tr 'a-f' 'A-F'
}

median() {
  printf '%s\n' "$@" | sort -n | awk '
    { v[NR] = $1 }
    END {
      if (NR % 2) print v[(NR + 1) / 2]
      else printf "%.0f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2
    }'
}

ms() { awk -v us="$1" 'BEGIN { printf "%.1f", us / 1000 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "inf" }'; }

echo "octets: $prog"
echo "runs per side: $RUNS"
echo "making test files in $work ..."
head -c "$big_size" /dev/urandom > "$big"
head -c "$small_size" /dev/urandom > "$small"

# ---------------------------------------------------------------- sanity
echo "sanity checks on the 1 MiB file ..."
for choice in 4 5 6; do
  expected_values "$choice" "$small" > expected.txt
  run_view "$choice" "$small" | shown_values > shown.txt
  cmp -s expected.txt shown.txt \
    || die "$(view_name "$choice") view of $small differs from $(ref_name "$choice")"
done
rm -f expected.txt shown.txt

cp "$small" small.saved
run_encipher "$small"
if cmp -s "$small" small.saved; then
  die "enciphering with key $key left $small unchanged"
fi
run_encipher "$small"
cmp -s "$small" small.saved || die "enciphering twice with key $key did not restore $small"
rm -f small.saved

# The 64 MiB views must write at least this many characters per byte
# (values plus separators), or the program did not read the whole file.
min_chars_per_byte() {
  case $1 in
    4) echo 2 ;;
    5) echo 3 ;;
    6) echo 9 ;;
  esac
}
for choice in 4 5 6; do
  chars=$(run_view "$choice" "$big" | wc -c)
  ((chars >= big_size * $(min_chars_per_byte "$choice"))) \
    || die "$(view_name "$choice") view of $big wrote only $chars characters"
done

# ---------------------------------------------------------------- views
declare -A prog_med ref_med
for choice in 4 5 6; do
  echo "timing $(view_name "$choice") view vs $(ref_name "$choice") ..."
  p_times=()
  r_times=()
  for ((i = 0; i < RUNS; i++)); do
    t0=$(now_us)
    run_view "$choice" "$big" > /dev/null
    t1=$(now_us)
    p_times+=($((t1 - t0)))

    t0=$(now_us)
    ref_view "$choice" "$big" > /dev/null
    t1=$(now_us)
    r_times+=($((t1 - t0)))
  done
  prog_med[$choice]=$(median "${p_times[@]}")
  ref_med[$choice]=$(median "${r_times[@]}")
  echo "  octets: $(ms "${prog_med[$choice]}") ms   $(ref_name "$choice"): $(ms "${ref_med[$choice]}") ms   ($(ratio "${ref_med[$choice]}" "${prog_med[$choice]}") times faster)"
done

# ---------------------------------------------------------------- encipher
echo "timing encipherment vs cp ..."
p_times=()
r_times=()
for ((i = 0; i < RUNS; i++)); do
  t0=$(now_us)
  run_encipher "$big"
  t1=$(now_us)
  p_times+=($((t1 - t0)))

  t0=$(now_us)
  cp "$big" "$big.copy"
  t1=$(now_us)
  r_times+=($((t1 - t0)))
  rm -f -- "$big.copy"
done
enc_med=$(median "${p_times[@]}")
cp_med=$(median "${r_times[@]}")
echo "  octets: $(ms "$enc_med") ms   cp: $(ms "$cp_med") ms   (octets/cp = $(ratio "$enc_med" "$cp_med"))"

# ---------------------------------------------------------------- memory
# Peak resident set of the program alone: time runs it directly, the
# dialogue comes through the pipe.
peak_kib() {
  local out=$work/peak.txt status=0
  case $1 in
    7) encipher_dialogue "$2" | /usr/bin/time -f %M -o "$out" "$prog" > /dev/null || status=$? ;;
    *) view_dialogue "$1" "$2" | /usr/bin/time -f %M -o "$out" "$prog" > /dev/null || status=$? ;;
  esac
  ((status == 0)) || die "octets exited with status $status (choice $1 on $2, under time)"
  tail -n 1 "$out"
}

echo "measuring peak memory ..."
declare -A mem_small mem_big
for choice in 4 5 6 7; do
  mem_small[$choice]=$(peak_kib "$choice" "$small")
  mem_big[$choice]=$(peak_kib "$choice" "$big")
done

# ---------------------------------------------------------------- table
verdict() { if [[ $1 == 1 ]]; then echo ok; else echo MISSED; fi; }

echo
echo "=== octets whole-program benchmark: 64 MiB random file, median of $RUNS runs ==="
printf '%-12s %-16s %11s %11s %9s  %-10s %s\n' \
  'operation' 'reference' 'octets ms' 'ref ms' 'ratio' 'target' 'result'
for choice in 4 5 6; do
  case $choice in
    4) target=40 ;;
    5) target=8 ;;
    6) target=16 ;;
  esac
  r=$(ratio "${ref_med[$choice]}" "${prog_med[$choice]}")
  met=$(awk -v r="$r" -v t="$target" 'BEGIN { print (r == "inf" || r >= t) ? 1 : 0 }')
  printf '%-12s %-16s %11s %11s %8sx  %-10s %s\n' \
    "$(view_name "$choice")" "$(ref_name "$choice")" \
    "$(ms "${prog_med[$choice]}")" "$(ms "${ref_med[$choice]}")" \
    "$r" ">= ${target}x" "$(verdict "$met")"
done
r=$(ratio "$enc_med" "$cp_med")
met=$(awk -v r="$r" 'BEGIN { print (r != "inf" && r <= 0.8) ? 1 : 0 }')
printf '%-12s %-16s %11s %11s %8sx  %-10s %s\n' \
  'encipher' 'cp' "$(ms "$enc_med")" "$(ms "$cp_med")" "$r" '<= 0.8x' "$(verdict "$met")"
echo "(views: ratio = reference time / octets time; encipher: ratio = octets time / cp time)"

echo
echo "=== peak resident memory (KiB), target < 8192 KiB and within 1024 KiB across sizes ==="
printf '%-12s %10s %10s %10s  %s\n' 'operation' '1 MiB' '64 MiB' 'diff' 'result'
for choice in 4 5 6 7; do
  if ((choice == 7)); then name=encipher; else name=$(view_name "$choice"); fi
  s=${mem_small[$choice]}
  b=${mem_big[$choice]}
  d=$((b - s))
  ad=${d#-}
  met=0
  if ((s < 8192 && b < 8192 && ad <= 1024)); then met=1; fi
  printf '%-12s %10s %10s %10s  %s\n' "$name" "$s" "$b" "$d" "$(verdict "$met")"
done
