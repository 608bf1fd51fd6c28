#!/usr/bin/env python3
"""Makes doc/views.svg, the README's picture of the text view and the
hexadecimal view of one small French text file at a terminal.

The built program runs at a real terminal, a tmux server of its own
(xterm-256color, UTF-8, 80 columns); each view's screen is captured with its
colours (capture-pane -e), and the capture becomes an SVG picture: monospace
text, one colour a run of characters.

    python3 doc/views_picture.py build/octets           # writes doc/views.svg
    python3 doc/views_picture.py build/octets --check   # compares instead

Exits with 1 when a view's capture has no colour, or with --check when
doc/views.svg is not the picture the program gives now; with 77 when tmux is
missing. Standard library only.
"""

import argparse
import os
import pathlib
import re
import shlex
import shutil
import subprocess
import sys
import tempfile
import time
import unicodedata

# Accented letters (two bytes each in UTF-8), a tab, spaces, line ends and
# printable ASCII.
TEXT = "Bonjour \u00e0 tous,\n\t\u00e7a va ? Tr\u00e8s bien.\n".encode()
NAME = "salut.txt"
COLUMNS, ROWS = 80, 24
MENU = " Votre choix : "
NAME_PROMPT = "Nom du fichier TEXTE : "
CONTINUE = " Souhaitez-vous continuer ? (Y/n) : "
TIMEOUT = 20

# xterm's default palette for the 16 colours, on a dark window.
PALETTE = [
    "#000000", "#cd0000", "#00cd00", "#cdcd00", "#0000ee", "#cd00cd", "#00cdcd", "#e5e5e5",
    "#7f7f7f", "#ff0000", "#00ff00", "#ffff00", "#5c5cff", "#ff00ff", "#00ffff", "#ffffff",
]
BACKGROUND = "#1c1c1c"
FOREGROUND = "#d0d0d0"
FONT_SIZE = 14
CELL_WIDTH = 8.4
ROW_HEIGHT = 18
MARGIN = 12
GAP = 16

SGR = re.compile(r"\x1b\[([0-9;:]*)m")


def fail(message, status=1):
    print(f"views_picture: {message}", file=sys.stderr)
    sys.exit(status)


class Terminal:
    """A tmux server of its own, whose socket is in `folder`, with one pane."""

    def __init__(self, folder):
        self.socket = str(folder / "tmux")

    def __call__(self, *arguments):
        result = subprocess.run(
            ["tmux", "-u", "-S", self.socket, "-f", "/dev/null", *arguments],
            stdin=subprocess.DEVNULL, capture_output=True, check=True)
        return result.stdout.decode("utf-8", "replace")

    def screen(self, colours=False):
        return self("capture-pane", "-p", "-N", *(["-e"] if colours else []))

    def wait_for_prompt(self, prompt, gone=None):
        """Waits until `prompt` is just before the cursor, `gone` nowhere."""
        deadline = time.monotonic() + TIMEOUT
        while time.monotonic() < deadline:
            x, y = map(int, self("display-message", "-p", "#{cursor_x} #{cursor_y}").split())
            shown = self.screen()
            rows = shown.split("\n")
            if (y < len(rows) and rows[y][:x].endswith(prompt)
                    and (gone is None or gone not in shown)):
                return
            time.sleep(0.05)
        fail(f"no prompt '{prompt}' after {TIMEOUT} s:\n{self.screen()}")

    def type_line(self, text):
        self("send-keys", "-l", "--", text)
        self("send-keys", "Enter")


def capture_views(program):
    """The screens of the text view and of the hexadecimal view, with colours."""
    with tempfile.TemporaryDirectory() as name:
        folder = pathlib.Path(name)
        (folder / NAME).write_bytes(TEXT)
        terminal = Terminal(folder)
        command = ("exec env -u NO_COLOR TERM=xterm-256color LC_ALL=C.UTF-8 "
                   + shlex.quote(program))
        terminal("new-session", "-d", "-x", str(COLUMNS), "-y", str(ROWS), "-c", name, command)
        try:
            screens = []
            for choice in ("3", "5"):
                terminal.wait_for_prompt(MENU, CONTINUE)
                terminal.type_line(choice)
                terminal.wait_for_prompt(NAME_PROMPT)
                terminal.type_line(NAME)
                terminal.wait_for_prompt(CONTINUE)
                screens.append(terminal.screen(colours=True))
                terminal.type_line("y")
            return screens
        finally:
            terminal("kill-server")


def cells(screen):
    """The screen's rows as lists of (character, colour or None, bold)."""
    rows = []
    colour, bold = None, False
    for line in screen.rstrip("\n").split("\n"):
        row = []
        position = 0
        for match in SGR.finditer(line):
            row += [(c, colour, bold) for c in line[position:match.start()]]
            position = match.end()
            codes = [int(code or 0) for code in re.split("[;:]", match.group(1))]
            while codes:
                code = codes.pop(0)
                if code == 0:
                    colour, bold = None, False
                elif code == 1:
                    bold = True
                elif code == 22:
                    bold = False
                elif 30 <= code <= 37:
                    colour = PALETTE[code - 30]
                elif 90 <= code <= 97:
                    colour = PALETTE[code - 90 + 8]
                elif code == 39:
                    colour = None
                elif code == 38 and codes[:1] == [5]:
                    colour = colour_256(codes[1])
                    del codes[:2]
                elif code == 38 and codes[:1] == [2]:
                    colour = "#%02x%02x%02x" % tuple(codes[1:4])
                    del codes[:4]
        row += [(c, colour, bold) for c in line[position:]]
        rows.append(row)
    # The rows below the dialogue are empty.
    while rows and all(c == " " for c, _, _ in rows[-1]):
        rows.pop()
    return rows


def colour_256(index):
    if index < 16:
        return PALETTE[index]
    if index >= 232:
        level = 8 + 10 * (index - 232)
        return "#%02x%02x%02x" % (level, level, level)
    index -= 16
    steps = [0, 95, 135, 175, 215, 255]
    return "#%02x%02x%02x" % (steps[index // 36], steps[index // 6 % 6], steps[index % 6])


def escape(text):
    return text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")


def svg(screens):
    width = 2 * MARGIN + COLUMNS * CELL_WIDTH
    heights = [2 * MARGIN + len(rows) * ROW_HEIGHT for rows in screens]
    total = sum(heights) + GAP * (len(screens) - 1)
    out = [
        '<svg xmlns="http://www.w3.org/2000/svg" '
        f'width="{width:.0f}" height="{total}" viewBox="0 0 {width:.0f} {total}">',
        f'<g font-family="DejaVu Sans Mono, Menlo, Consolas, monospace" '
        f'font-size="{FONT_SIZE}" fill="{FOREGROUND}" xml:space="preserve">',
    ]
    top = 0
    for rows, height in zip(screens, heights):
        out.append(f'<rect x="0" y="{top}" width="{width:.0f}" height="{height}" rx="6" '
                   f'fill="{BACKGROUND}"/>')
        for number, row in enumerate(rows):
            y = top + MARGIN + number * ROW_HEIGHT + FONT_SIZE
            # A run of one look goes at its first column. A character outside
            # ASCII may come from another font, of another width: it gets a
            # run of its own, so that the columns after it stay in place.
            runs = []
            column = 0
            for character, colour, bold in row:
                alone = ord(character) > 127
                joins = (runs and not alone and not runs[-1][3]
                         and (character == " " or runs[-1][1:3] == [colour, bold]))
                if joins:
                    runs[-1][4] += character
                else:
                    runs.append([column, colour, bold, alone, character])
                column += 2 if unicodedata.east_asian_width(character) in "WF" else 1
            runs = [run for run in runs if run[4].strip()]
            if not runs:
                continue
            out.append(f'<text y="{y}">')
            for column, colour, bold, _, text in runs:
                attributes = f' fill="{colour}"' if colour else ""
                if bold:
                    attributes += ' font-weight="bold"'
                out.append(f'<tspan x="{MARGIN + column * CELL_WIDTH:g}"{attributes}>'
                           f'{escape(text.rstrip())}</tspan>')
            out.append("</text>")
        top += height + GAP
    out += ["</g>", "</svg>"]
    return "\n".join(out) + "\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("program", help="the built program")
    parser.add_argument("--check", action="store_true",
                        help="compare with the picture instead of writing it")
    parser.add_argument("--picture", default=str(pathlib.Path(__file__).parent / "views.svg"))
    arguments = parser.parse_args()
    if shutil.which("tmux") is None:
        fail("tmux is missing", 77)
    screens = [cells(screen) for screen in capture_views(os.path.realpath(arguments.program))]
    for view, rows in zip(("text", "hexadecimal"), screens):
        if not any(colour for row in rows for c, colour, _ in row if c != " "):
            fail(f"the {view} view's capture has no colour")
    picture = svg(screens)
    target = pathlib.Path(arguments.picture)
    if arguments.check:
        if not target.exists() or target.read_text(encoding="utf-8") != picture:
            fail(f"{target} is not the picture the program gives now; make it again with "
                 f"python3 doc/views_picture.py {arguments.program}")
        return
    target.write_text(picture, encoding="utf-8")


if __name__ == "__main__":
    main()
