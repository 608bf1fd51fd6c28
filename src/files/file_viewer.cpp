#include "files/file_viewer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "files/byte_format.h"
#include "files/current_file.h"
#include "files/file_system.h"
#include "files/ibm_symbols.h"

namespace octets {
namespace {

// Fewer, larger reads and writes, while the text of a chunk (nine times its
// size at most) still fits in the processor's nearer caches.
constexpr std::size_t VIEW_CHUNK = 64 * 1024;

/// Writes a file's characters as the text view shows them: in pieces of at most
/// LINE_CAPACITY - 1 characters, each ending early after a line end, a zero
/// byte hiding the rest of its piece. At a terminal each byte is written as a
/// symbol, so that nothing in the file can act on the terminal; only a carriage
/// return right before a line end stays itself.
class TextPieces {
 public:
  explicit TextPieces(Screen screen) : screen_(screen) {}

  /// Appends to `text` what `bytes` show; pieces go on from one call to the next.
  /// The bytes go a stretch at a time, since a pipe may take a large file.
  void show(const char* bytes, std::size_t count, std::string& text) {
    while (count > 0) {
      std::size_t span = std::min(count, LINE_CAPACITY - 1 - piece_length_);
      const void* line_end = std::memchr(bytes, '\n', span);
      if (line_end != nullptr) span = static_cast<const char*>(line_end) - bytes + 1;
      if (!hidden_) {
        const void* zero = std::memchr(bytes, '\0', span);
        std::size_t shown = zero == nullptr ? span : static_cast<const char*>(zero) - bytes;
        append_shown(bytes, shown, text);
        hidden_ = zero != nullptr;
        // What follows a carriage return there is not shown next to it.
        if (hidden_) finish(text);
      }
      piece_length_ += span;
      if (line_end != nullptr || piece_length_ == LINE_CAPACITY - 1) {
        piece_length_ = 0;
        hidden_ = false;
      }
      bytes += span;
      count -= span;
    }
  }

  /// Appends what is still held back once the file has ended.
  void finish(std::string& text) {
    if (!carriage_return_) return;
    carriage_return_ = false;
    append_symbol('\r', text);
  }

 private:
  void append_shown(const char* bytes, std::size_t count, std::string& text) {
    if (screen_ == Screen::none) {
      text.append(bytes, count);
      return;
    }
    for (std::size_t i = 0; i < count; ++i) {
      auto byte = static_cast<unsigned char>(bytes[i]);
      if (carriage_return_) {
        carriage_return_ = false;
        // A carriage return and a line end end the line, as on a console; a
        // lone carriage return would let what follows overwrite its line.
        if (byte == '\n') {
          text += '\r';
        } else {
          append_symbol('\r', text);
        }
      }
      // Held until the next byte tells which it is, in this chunk or the next.
      if (byte == '\r') {
        carriage_return_ = true;
      } else {
        append_symbol(byte, text);
      }
    }
  }

  void append_symbol(unsigned char byte, std::string& text) const {
    // A console is given the symbols as characters, as a UTF-8 terminal is.
    if (screen_ == Screen::utf8_terminal || screen_ == Screen::console) {
      text += ibm_symbol(byte);
    } else {
      text += ascii_symbol(byte);
    }
  }

  Screen screen_;
  std::size_t piece_length_ = 0;
  bool hidden_ = false;
  bool carriage_return_ = false;
};

void show_text(Console& console) {
  OpenFile file = open_named_file(console, "r");
  if (!file) return;
  // The file is read to its end, whatever size it claims (a pseudo-file claims
  // none), except the file standard output writes to: it would grow as fast as
  // it is read, for ever, so only what it held when it was opened is shown.
  const bool bounded = is_standard_output(file.stream());
  std::int64_t size = std::numeric_limits<std::int64_t>::max();
  if (bounded) size = measure_file_or_report(console);
  if (size < 0) return;
  console.write("Rappel : N'affiche que les caractEres imprimables\n");
  console.print_separator();
  TextPieces pieces(console.screen());
  ChunkReader contents(file.stream(), size, VIEW_CHUNK);
  std::string text;
  // A text-mode read may deliver fewer characters than the file has bytes, so
  // a short chunk is the end of the text: only the stream's error is a fault.
  for (auto chunk = contents.next_chunk(); !chunk.empty() && !console.output_failed();
       chunk = contents.next_chunk()) {
    text.clear();
    pieces.show(reinterpret_cast<const char*>(chunk.data()), chunk.size(), text);
    if (console.screen() == Screen::console) {
      console.write_symbols(text);
    } else {
      console.write(text);
    }
  }
  text.clear();
  pieces.finish(text);
  console.write(text);
  if (std::ferror(file.stream())) {
    console.write("\nErreur de lecture : le fichier n'a pas pu Etre lu jusqu'au bout\n");
  } else if (bounded) {
    // What was shown may have reached the file by now, when the file is
    // standard output itself.
    console.flush();
    if (std::fgetc(file.stream()) != EOF) {
      console.write("\nLe fichier a grandi pendant l'affichage : seul ce qu'il contenait "
                    "A l'ouverture est affichE\n");
    }
  }
}

struct ByteView {
  Base base;
  const char* heading;
};

ByteView byte_view(ViewKind kind) {
  switch (kind) {
    case ViewKind::decimal:
      return {Base::decimal, " ; Affichage en base 10\n"};
    case ViewKind::hexadecimal:
      return {Base::hexadecimal, " ; Affichage en base 16\n"};
    default:
      return {Base::binary, " ; Affichage en base 2\n"};
  }
}

void show_bytes(Console& console, ViewKind kind) {
  OpenFile file = open_named_file(console, "rb");
  if (!file) return;
  std::int64_t size = measure_file_or_report(console);
  if (size < 0) return;
  console.expect_long_output();
  const ByteView view = byte_view(kind);
  console.write(" = ");
  console.write(size);
  console.write(" octets");
  console.write(view.heading);
  console.print_separator();
  ChunkReader contents(file.stream(), size, VIEW_CHUNK);
  std::vector<char> text(VIEW_CHUNK * BYTE_TEXT_MAX + FORMAT_SLACK);
  // At a screen that wraps its rows by itself, a value must not be cut in two
  // at the right margin; a pipe or a file keeps the values on one line.
  const int width = console.screen() == Screen::none ? 0 : console.width();
  ViewRows rows(width > 0 ? static_cast<std::size_t>(width) : 0);
  std::string rows_text;
  // Stops early when the output is lost: formatting the rest would be wasted.
  for (auto chunk = contents.next_chunk(); !chunk.empty() && !console.output_failed();
       chunk = contents.next_chunk()) {
    char* end = format_bytes(view.base, chunk.data(), chunk.size(), text.data());
    std::string_view values(text.data(), static_cast<std::size_t>(end - text.data()));
    if (width <= 0) {
      console.write(values);
      continue;
    }
    // The window may have been resized since the last chunk.
    if (int now = console.width(); now > 0) rows.set_width(static_cast<std::size_t>(now));
    rows_text.clear();
    rows.append(values, rows_text);
    console.write(rows_text);
  }
  console.write("\n");
  if (contents.failed()) {
    console.write("Erreur de lecture : seuls ");
    console.write(contents.bytes_read());
    console.write(" octets sur ");
    console.write(size);
    console.write(" ont pu Etre lus\n");
  }
}

}  // namespace

void show_file(Console& console, ViewKind kind) {
  if (kind == ViewKind::text) {
    show_text(console);
  } else {
    show_bytes(console, kind);
  }
}

}  // namespace octets
