#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "console/terminal.h"

namespace octets {

inline constexpr const char* SEPARATOR_LINE = "****************************\n";
/// The answer given for a line too long to be a one-character answer.
inline constexpr char NO_ANSWER = 'c';
inline constexpr std::size_t NAME_CAPACITY = 30;
inline constexpr std::size_t LINE_CAPACITY = 100;
inline constexpr std::size_t ANSWER_CAPACITY = 100;
inline constexpr std::string_view PAGE_PROMPT = "-- EntrEe : la suite ; q : fin de l'affichage --";

/// The program's side of the console: buffered input read in bounded pieces,
/// and buffered output that is flushed before the program waits for input.
class Console {
 public:
  Console(ByteSource& in, std::ostream& out, Terminal& terminal);
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;
  /// What is still held goes out.
  ~Console() { flush(); }

  void write(const char* text);
  /// Writes the bytes as they are, zero bytes included.
  void write(std::string_view bytes);
  /// Writes the number in decimal, as "%d" does.
  void write(std::int64_t number);
  void print_separator();

  /// Reads like fgets: stops after a line end, after capacity - 1 characters, or at
  /// the end of input, and terminates the text with a zero. The rest of a longer
  /// line stays pending. Returns how many characters were stored: 0 only at the
  /// end of input with nothing read, and the buffer then holds an empty text.
  std::size_t read_line(char* buffer, std::size_t capacity);

  /// Reads one line of at most ANSWER_CAPACITY - 1 characters and applies the
  /// one-character rule: the first character when the text (up to its first zero
  /// byte) is shorter than 3, NO_ANSWER otherwise. Empty at the end of input.
  std::optional<char> read_answer();

  /// Takes one character, whatever it is; empty at the end of input.
  std::optional<char> read_char();

  /// Reads a decimal integer as scanf's "%d" does: white space and line ends are
  /// skipped, then an optional sign and digits; the first character that cannot
  /// belong to the number stays pending. Empty when no digit was read. Values
  /// beyond the range of 32 bits are clamped, never wrapped.
  std::optional<std::int64_t> read_number();

  /// Drops the rest of the current line when one is begun (any of its characters
  /// taken or looked at), line end included; otherwise returns at once.
  void discard_pending_input();

  /// True when no input is left; may wait for input to decide.
  bool at_end();

  /// True when part of the current line has been read or looked at and more
  /// of it may follow; false at the start of a line and at the end of input.
  bool line_begun() const { return line_begun_ && !(ended_ && position_ == end_); }

  /// True when read_line() with this capacity could wait for input: what is
  /// held has neither a line end nor capacity - 1 characters, and the input has
  /// nothing ready. What the input has ready is taken in meanwhile. Never waits
  /// and never lets output leave.
  bool would_wait(std::size_t capacity);

  /// A view while it runs: it waits after each screenful where the terminal
  /// allows (page_rows), and a signal that ends it gives the colour back.
  class View {
   public:
    explicit View(Console& console);
    ~View();

   private:
    Console& console_;
  };
  /// True once the view was ended at its prompt ("q", or the end of input):
  /// what it still writes is dropped.
  bool view_stopped() const { return stopped_; }

  void clear_screen();
  void flush();
  /// How many more bytes can be written before the output held so far leaves.
  std::size_t output_room() const { return sizeof output_ - output_used_; }
  Screen screen() { return terminal_.screen(); }
  int line_width() { return terminal_.line_width(); }
  /// True when the last answer's echo ended its prompt's row: typed at a
  /// terminal that echoes, after the prompt rather than ahead of it.
  bool input_echoed() { return !answered_ahead_ && terminal_.input_echoed(); }
  void expect_long_output() { terminal_.expect_long_output(); }
  int width() { return terminal_.width(); }
  bool shows_colours() { return terminal_.shows_colours(); }
  /// Writes UTF-8 text through the terminal, after what was written before;
  /// a view waits after each screenful of it too.
  void write_symbols(std::string_view utf8);

  /// True once a write to the output has failed.
  bool output_failed() const { return !out_.good(); }
  /// True once reading the input has failed; the input then counts as ended.
  bool input_failed() const { return in_.failed(); }

 private:
  /// The next character without taking it, or -1 at the end of input.
  int peek();
  /// Takes the character that peek() returned.
  void take();
  bool fill();
  /// Hands the buffered output over to the output stream.
  void drain();
  /// Writes to the buffered output, past the screenful's count.
  void put(std::string_view bytes);
  /// Writes to the buffered output, or through the terminal (write_symbols).
  void show(std::string_view text, bool symbols);
  void page(std::string_view text, bool symbols = false);
  void start_page();
  /// How many bytes fit on the screenful, whose last row is the prompt's:
  /// colour changes and UTF-8 continuation bytes take no room.
  std::size_t fit(std::string_view text);
  void ask_to_go_on();

  ByteSource& in_;
  std::ostream& out_;
  Terminal& terminal_;
  char buffer_[64 * 1024];
  std::size_t position_ = 0;
  std::size_t end_ = 0;
  bool ended_ = false;
  bool line_begun_ = false;
  bool answered_ahead_ = false;
  bool stopped_ = false;
  int width_ = 0;
  int last_row_ = 0;
  int row_ = 0;
  int column_ = 0;
  /// The colour change last seen; empty for the usual colour.
  std::string colour_;
  // Output is held here rather than in the stream's own buffer, so that the
  // program knows when it leaves (see output_room()).
  char output_[64 * 1024];
  std::size_t output_used_ = 0;
};

}  // namespace octets
