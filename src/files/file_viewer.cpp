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
// size at most) still fits in the processor's nearer caches. A power of two,
// so that each chunk is whole rows of a byte view.
constexpr std::size_t VIEW_CHUNK = 64 * 1024;
/// The most a byte view reads of a file that tells no size.
constexpr std::size_t UNMEASURED_LIMIT = 1024 * 1024;

/// Writes a file's characters as the text view shows them. Piped, in pieces of
/// at most LINE_CAPACITY - 1 characters, each ending early after a line end, a
/// zero byte hiding the rest of its piece. At a terminal each byte is written
/// as a symbol, the zero byte included, so that nothing in the file can act on
/// the terminal; only tabs, line ends and a carriage return right before a
/// line end stay themselves. Coloured, each symbol has the colour of its
/// byte's kind.
class TextPieces {
 public:
  TextPieces(Screen screen, bool coloured) : screen_(screen), coloured_(coloured) {}

  /// Appends to `text` what `bytes` show; pieces go on from one call to the next.
  /// The bytes go a stretch at a time, since a pipe may take a large file.
  void show(const char* bytes, std::size_t count, std::string& text) {
    while (count > 0) {
      std::size_t span = std::min(count, LINE_CAPACITY - 1 - piece_length_);
      const void* line_end = std::memchr(bytes, '\n', span);
      if (line_end != nullptr) span = static_cast<const char*>(line_end) - bytes + 1;
      if (!hidden_) {
        // At a screen a zero byte is a symbol like the others.
        const void* zero = screen_ == Screen::none ? std::memchr(bytes, '\0', span) : nullptr;
        std::size_t shown = zero == nullptr ? span : static_cast<const char*>(zero) - bytes;
        append_shown(bytes, shown, text);
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

  /// Appends what is still held back once the file has ended, and gives the
  /// usual colour back.
  void finish(std::string& text) {
    release_carriage_return(text);
    colours_.finish(text);
  }

 private:
  void release_carriage_return(std::string& text) {
    if (!carriage_return_) return;
    carriage_return_ = false;
    append_symbol('\r', text);
  }

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
          if (coloured_) colours_.change_to(ByteKind::white_space, text);
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

  void append_symbol(unsigned char byte, std::string& text) {
    if (coloured_) colours_.change_to(byte_kind(byte), text);
    // Tabs and line ends lay the text out, at a terminal as on a console.
    if (byte == '\t' || byte == '\n') {
      text += static_cast<char>(byte);
    } else {
      text += screen_symbol(byte, screen_);
    }
  }

  Screen screen_;
  bool coloured_;
  KindColours colours_;
  std::size_t piece_length_ = 0;
  bool hidden_ = false;
  bool carriage_return_ = false;
};

/// Writes text that may hold symbols and colour changes: a console takes them
/// through the terminal.
void write_shown(Console& console, std::string_view text) {
  if (text.empty()) return;
  if (console.screen() == Screen::console) {
    console.write_symbols(text);
  } else {
    console.write(text);
  }
}

/// At a screen that shows colours, names each kind of byte in its colour.
void write_legend(Console& console) {
  std::string legend = "Couleurs : ";
  for (const KindColour& kind : KIND_COLOURS) {
    if (&kind != KIND_COLOURS) legend += ", ";
    legend += kind.colour;
    legend += kind.name;
    legend += USUAL_COLOUR;
  }
  legend += '\n';
  write_shown(console, legend);
}

/// Whether a view colours what it shows.
bool coloured(Console& console) {
  return console.screen() != Screen::none && console.shows_colours();
}

void show_text(Console& console, const ViewKind& view) {
  OpenFile file = open_named_file(console, view.open_mode);
  if (!file) return;
  Console::View shown(console);
  // The file is read to its end, whatever size it claims (a pseudo-file claims
  // none), except the file standard output writes to: it would grow as fast as
  // it is read, for ever, so only what it held when it was opened is shown.
  const bool bounded = is_standard_output(file.stream());
  std::int64_t size = std::numeric_limits<std::int64_t>::max();
  if (bounded) size = measure_file_or_report(console);
  if (size < 0) return;
  console.write("Rappel : N'affiche que les caractEres imprimables\n");
  if (coloured(console)) write_legend(console);
  console.print_separator();
  TextPieces pieces(console.screen(), coloured(console));
  ChunkReader contents(file.stream(), size, VIEW_CHUNK);
  std::string text;
  // A text-mode read may deliver fewer characters than the file has bytes, so
  // a short chunk is the end of the text: only the stream's error is a fault.
  for (auto chunk = contents.next_chunk(); !chunk.empty() && !console.output_failed();
       chunk = contents.next_chunk()) {
    if (console.view_stopped()) break;
    text.clear();
    pieces.show(reinterpret_cast<const char*>(chunk.data()), chunk.size(), text);
    write_shown(console, text);
  }
  text.clear();
  pieces.finish(text);
  write_shown(console, text);
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

void show_bytes(Console& console, const ViewKind& view) {
  OpenFile file = open_named_file(console, view.open_mode);
  if (!file) return;
  Console::View shown(console);
  const std::int64_t measured = measure_file_or_report(console);
  if (measured < 0) return;
  ChunkReader contents(file.stream(), measured, VIEW_CHUNK);
  // A pseudo-file says it holds nothing, whatever it holds: it is read first,
  // up to a bound, and what it held is the size shown.
  const bool whole = measured != 0 || contents.measure_by_reading(UNMEASURED_LIMIT);
  console.expect_long_output();
  console.write(" = ");
  console.write(contents.size());
  console.write(" octets");
  console.write(view.heading);
  const bool colour = coloured(console);
  if (colour) write_legend(console);
  console.print_separator();
  // At a screen, rows with the positions and symbols; a pipe or a file keeps
  // the values on one line.
  const bool screen = console.screen() != Screen::none;
  std::vector<char> text(screen ? 0 : VIEW_CHUNK * BYTE_TEXT_MAX + FORMAT_SLACK);
  ByteRows rows(*view.format, console.screen(), colour, contents.size());
  // Stops early when the output is lost: formatting the rest would be wasted.
  for (auto chunk = contents.next_chunk(); !chunk.empty() && !console.output_failed();
       chunk = contents.next_chunk()) {
    if (console.view_stopped()) break;
    if (screen) {
      // The window may have been resized since the last chunk.
      rows.set_width(console.width());
      write_shown(console, rows.rows(chunk.data(), chunk.size()));
      continue;
    }
    char* end = format_bytes(*view.format, chunk.data(), chunk.size(), text.data());
    console.write(std::string_view(text.data(), static_cast<std::size_t>(end - text.data())));
  }
  console.write("\n");
  if (contents.failed()) {
    console.write("Erreur de lecture : seuls ");
    console.write(contents.bytes_read());
    console.write(" octets");
    if (measured != 0) {
      console.write(" sur ");
      console.write(measured);
    }
    console.write(" ont pu Etre lus\n");
  } else if (contents.ended_early()) {
    // A file cut meanwhile, or a /sys attribute, which claims a whole page.
    console.write("Le fichier est plus court que mesurE : il s'arrEte aprEs ");
    console.write(contents.bytes_read());
    console.write(" octets sur ");
    console.write(measured);
    console.write("\n");
  }
  if (!whole) {
    console.write("Taille inconnue : seuls les ");
    console.write(contents.size());
    console.write(" premiers octets sont affichEs\n");
  }
}

}  // namespace

const ViewKind* chosen_view(char choice) {
  for (const ViewKind& view : VIEWS) {
    if (view.choice == choice) return &view;
  }
  return nullptr;
}

void show_file(Console& console, const ViewKind& view) {
  if (view.format == nullptr) {
    show_text(console, view);
  } else {
    show_bytes(console, view);
  }
}

}  // namespace octets
