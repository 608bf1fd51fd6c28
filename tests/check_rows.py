#!/usr/bin/env python3
"""Checks the rows of the byte views that a terminal shows, against the file.

    check_rows.py FILE COLUMNS [ascii] < capture       every view in the capture
    check_rows.py FILE COLUMNS [ascii] --tail BASE < rows

Each row must be the position of its first byte (decimal, right-aligned on the
width of the file's last position), a space, the row's values (right-aligned
on the widest value's width), a space, then one symbol a byte: the code page
437 symbols below, or printable ASCII and "." with `ascii`. A full row holds a
power of two of values, the most that leave the last of COLUMNS columns empty
(0 columns counts as 80); a shorter last row keeps its symbols in their column.
The views are read from the capture between the separator line after each
heading and the next one; prints how many views were checked. With --tail,
the rows are the last ones of one view, from any position to the file's end.
Trailing spaces do not count. Exits with 1 at the first row that differs.
"""

import sys

# The program's own choices: a white bullet for the zero byte, then the code
# page's symbols for 1 to 31 and for 127; the rest is the code page itself.
LOW = "◦☺☻♥♦♣♠•◘○◙♂♀♪♫☼►◄↕‼¶§▬↨↑↓→←∟↔▲▼"
SYMBOLS = LOW + "".join(map(chr, range(32, 127))) + "⌂" + bytes(range(128, 256)).decode("cp437")
ASCII = "".join(chr(b) if 32 <= b < 127 else "." for b in range(256))
VALUES = {"10": "{:3d} ", "16": "{:02X} ", "2": "{:08b} "}
SEPARATOR = "*" * 28


def fail(message):
    print(f"check_rows: {message}", file=sys.stderr)
    sys.exit(1)


def check(data, columns, symbols, base, rows, tail):
    value = VALUES[base]
    width = len(value.format(0))
    digits = len(str(max(len(data) - 1, 0)))

    def row(position, count):
        shown = data[position:position + count]
        return (f"{position:>{digits}} " + "".join(value.format(b) for b in shown)
                + " " * ((count - len(shown)) * width + 1) + "".join(symbols[b] for b in shown))

    position = int(rows[0][:digits]) if tail and rows[0][:digits].strip().isdigit() else 0
    # The count of a full row: the one that gives the first row.
    count = next((2**k for k in range(17)
                  if row(position, 2**k).rstrip(" ") == rows[0].rstrip(" ")), None)
    if count is None:
        fail(f"base {base} at {columns} columns: no count of values gives '{rows[0]}'")
    room = (columns or 80) - 1
    fits = digits + 2 + count * (width + 1) <= room
    if not (fits or count == 1) or (fits and digits + 2 + 2 * count * (width + 1) <= room):
        fail(f"base {base} at {columns} columns: {count} values a row in '{rows[0]}'")
    for number, shown in enumerate(rows):
        wanted = row(position, count)
        if shown.rstrip(" ") != wanted.rstrip(" "):
            fail(f"base {base} at {columns} columns, row {number}:\n  shown  '{shown}'\n"
                 f"  wanted '{wanted}'")
        position = min(position + count, len(data))
    if position != len(data):
        fail(f"base {base} at {columns} columns: the rows end at {position} of {len(data)}")


def views(lines):
    """The base and the rows of each view in the capture."""
    found = []
    for at, line in enumerate(lines):
        if "Affichage en base " in line:
            start = lines.index(SEPARATOR, at) + 1
            end = lines.index(SEPARATOR, start)
            found.append((line.rsplit(" ", 1)[1], lines[start:end]))
    return found


def main():
    arguments = sys.argv[1:]
    tail = arguments.index("--tail") if "--tail" in arguments else None
    data = open(arguments[0], "rb").read()
    columns = int(arguments[1])
    symbols = ASCII if "ascii" in arguments else SYMBOLS
    lines = sys.stdin.read().rstrip("\n").split("\n")
    if tail is not None:
        check(data, columns, symbols, arguments[tail + 1], lines, True)
        return
    found = views(lines)
    for base, rows in found:
        check(data, columns, symbols, base, rows or [""], False)
    print(len(found))


if __name__ == "__main__":
    main()
