#include "files/file_viewer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "console/platform.h"
#include "files/current_file.h"
#include "files/ibm_symbols.h"

namespace octets {
namespace {

// Fewer, larger reads and writes, while the text of a chunk (nine times its
// size at most) still fits in the processor's nearer caches.
constexpr std::size_t VIEW_CHUNK = 64 * 1024;

/// Writes a file's characters as the text view shows them: in pieces of at most
/// LINE_CAPACITY - 1 characters, each ending early after a line end, a zero
/// byte hiding the rest of its piece. At a terminal each byte is written as a
/// symbol, so that nothing in the file can act on the terminal.
class TextPieces {
 public:
  explicit TextPieces(Screen screen) : screen_(screen) {}

  /// Appends to `text` what `bytes` show; pieces go on from one call to the next.
  void show(const char* bytes, std::size_t count, std::string& text) {
    // A console draws every byte as a symbol by itself.
    if (screen_ == Screen::none || screen_ == Screen::console) {
      show_unchanged(bytes, count, text);
      return;
    }
    for (std::size_t i = 0; i < count; ++i) {
      auto byte = static_cast<unsigned char>(bytes[i]);
      if (byte == 0) hidden_ = true;
      if (!hidden_) {
        if (screen_ == Screen::utf8_terminal) {
          text += ibm_symbol(byte);
        } else {
          text += ascii_symbol(byte);
        }
      }
      if (++piece_length_ == LINE_CAPACITY - 1 || byte == '\n') {
        piece_length_ = 0;
        hidden_ = false;
      }
    }
  }

 private:
  /// The same pieces, with the bytes as they are: copied a stretch at a time,
  /// since a pipe may take a large file.
  void show_unchanged(const char* bytes, std::size_t count, std::string& text) {
    while (count > 0) {
      std::size_t span = std::min(count, LINE_CAPACITY - 1 - piece_length_);
      const void* line_end = std::memchr(bytes, '\n', span);
      if (line_end != nullptr) span = static_cast<const char*>(line_end) - bytes + 1;
      if (!hidden_) {
        const void* zero = std::memchr(bytes, '\0', span);
        std::size_t shown = zero == nullptr ? span : static_cast<const char*>(zero) - bytes;
        text.append(bytes, shown);
        hidden_ = zero != nullptr;
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

  Screen screen_;
  std::size_t piece_length_ = 0;
  bool hidden_ = false;
};

void show_text(Console& console) {
  if (!open_named_file(console, "r")) return;
  // Only what the file held when it was opened is shown: the file standard
  // output appends to would otherwise grow as fast as it is read, for ever.
  std::int64_t size = measure_file_or_close(console);
  if (size < 0) return;
  console.write("Rappel : N'affiche que les caractEres imprimables\n");
  console.print_separator();
  std::ostream& out = console.out();
  TextPieces pieces(console.screen());
  FileContents contents(size, VIEW_CHUNK);
  std::string text;
  // A text-mode read may deliver fewer characters than the file has bytes, so
  // a short chunk is the end of the text: only the stream's error is a fault.
  for (auto chunk = contents.next_chunk(); !chunk.empty() && out.good();
       chunk = contents.next_chunk()) {
    text.clear();
    pieces.show(reinterpret_cast<const char*>(chunk.data()), chunk.size(), text);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
  }
  if (std::ferror(current_file.stream)) {
    console.write("\nErreur de lecture : le fichier n'a pas pu Etre lu jusqu'au bout\n");
  } else {
    // What was shown may have reached the file by now, when the file is
    // standard output itself.
    console.flush();
    if (std::fgetc(current_file.stream) != EOF) {
      console.write("\nLe fichier a grandi pendant l'affichage : seul ce qu'il contenait "
                    "A l'ouverture est affichE\n");
    }
  }
  close_current_file();
}

const char* heading(ViewKind kind) {
  switch (kind) {
    case ViewKind::decimal:
      return " ; Affichage en base 10\n";
    case ViewKind::hexadecimal:
      return " ; Affichage en base 16\n";
    default:
      return " ; Affichage en base 2\n";
  }
}

void show_bytes(Console& console, ViewKind kind) {
  if (!open_named_file(console, "rb")) return;
  std::int64_t size = measure_file_or_close(console);
  if (size < 0) return;
  enlarge_output_pipe();
  std::ostream& out = console.out();
  out << " = " << size << " octets" << heading(kind);
  console.print_separator();
  FileContents contents(size, VIEW_CHUNK);
  std::vector<char> text(VIEW_CHUNK * BYTE_TEXT_MAX + FORMAT_SLACK);
  // Stops early when the output is lost: formatting the rest would be wasted.
  for (auto chunk = contents.next_chunk(); !chunk.empty() && out.good();
       chunk = contents.next_chunk()) {
    char* end = format_bytes(kind, chunk.data(), chunk.size(), text.data());
    out.write(text.data(), end - text.data());
  }
  out << '\n';
  if (contents.failed()) {
    out << "Erreur de lecture : seuls " << contents.bytes_read() << " octets sur " << size
        << " ont pu Etre lus\n";
  }
  close_current_file();
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
