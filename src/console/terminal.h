#pragma once

// What standard input and output are, and what a stream cannot do by itself:
// tell a terminal, clear it, set up the process. Each platform has its own
// source file, and the build picks one.

#include <cstddef>
#include <ostream>
#include <string_view>

namespace octets {

/// Where the console's input comes from: standard input, or a string in tests.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  /// Waits for input and stores up to `capacity` bytes of it; returns how many.
  /// Returns 0 only at the end of input, or when reading failed.
  virtual std::size_t read_some(char* buffer, std::size_t capacity) = 0;
  /// True when read_some() would return at once, with input or at its end;
  /// false when it could wait, or when that cannot be told. Never waits.
  virtual bool ready() { return false; }
  /// True once a read has failed for another reason than the end of input.
  virtual bool failed() const { return false; }
};

/// What standard output shows its bytes on.
enum class Screen {
  /// A file, a pipe or a device: the bytes are kept as they are.
  none,
  /// A console that is given characters rather than bytes: the text view's
  /// symbols go to it through Terminal::write_symbols, whatever its code page.
  console,
  /// A terminal that obeys control sequences and reads its text as UTF-8.
  utf8_terminal,
  /// A terminal that obeys control sequences and uses another character set.
  other_terminal,
};

/// What a stream cannot do by itself.
class Terminal {
 public:
  virtual ~Terminal() = default;
  /// Empties the screen, where that takes no more than the screen understands.
  /// Everything written before has already been flushed.
  virtual void clear_screen(std::ostream& out) = 0;
  /// What standard output is; the same for the whole run.
  virtual Screen screen() = 0;
  /// How many characters a line rewritten in place may hold without wrapping;
  /// 0 when no line can be rewritten: not a screen, or a terminal that takes
  /// no control sequence (TERM=dumb or unset).
  virtual int line_width() = 0;
  /// True when standard input is a terminal that echoes what is typed: the
  /// line end of each answer then ends its prompt's row on the screen. False
  /// for answers from a pipe or a file, after which the cursor is still on
  /// the prompt's row.
  virtual bool input_echoed() = 0;
  /// Readies standard output for a long stretch of output: a pipe is asked to
  /// grow, so that the reader gets it in fewer, bigger steps. Does nothing
  /// where there is nothing to gain or the system says no.
  virtual void expect_long_output() {}
  /// How many columns a row of the screen has; 0 when that is unknown or
  /// standard output is no screen.
  virtual int width() = 0;
  /// Whether standard output is a screen whose text may be coloured, and the
  /// user lets it be (see colours_wanted()); the same for the whole run. Text
  /// for it may then hold colour changes: ESC "[", a number and "m", the
  /// number 30 to 37 or 90 to 97 for a foreground colour of the 16-colour
  /// palette, 39 for the usual one.
  virtual bool shows_colours() = 0;
  /// Shows UTF-8 text on a Screen::console by the console's own characters,
  /// and its colour changes by the console's text attributes.
  /// Everything written to `out` before has already been flushed; a failure
  /// sets `out`'s bad bit, as a failed write to it would.
  virtual void write_symbols(std::ostream& out, std::string_view utf8) {
    out.write(utf8.data(), static_cast<std::streamsize>(utf8.size()));
  }
  /// How many rows a screenful of a long view has, 24 for a terminal that
  /// tells no size; 0 when a view must never wait: standard input is not a
  /// terminal, or standard output is no screen that takes control sequences.
  virtual int page_rows() { return 0; }
  /// Erases the cursor's row, or the row above it when `above`, and leaves the
  /// cursor at its start. Everything written to `out` before has been flushed.
  virtual void erase_row(std::ostream& out, bool above) {
    out << (above ? "\x1b[A\r\x1b[K" : "\r\x1b[K");
  }
  /// While on, a signal that ends the program first gives the screen its
  /// usual colour back.
  virtual void guard_colour(bool) {}
};

/// Readies the process before the dialogue starts: a closed standard input,
/// output or error is reopened on the null device, so that no file the program
/// opens can take its number, and a file size limit makes a write fail instead
/// of ending the process. Returns false when standard output was closed.
bool prepare_process();

/// Standard input, read without the C library's buffering so that the console
/// layer alone decides what is pending.
ByteSource& standard_input();

/// Standard output, written without the C library's buffering (the console
/// has its own). A write fails only on a real error: where the platform can
/// leave standard output non-blocking, a full one is waited for.
std::ostream& standard_output();
/// Whether the environment lets a screen's text be coloured: not when NO_COLOR
/// is set to anything but an empty text, nor when TERM is "dumb" or, except
/// for a Windows console, unset or empty.
bool colours_wanted();

/// The terminal standard output is attached to, if any.
Terminal& standard_terminal();

}  // namespace octets
