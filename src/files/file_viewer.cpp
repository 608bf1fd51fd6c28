#include "files/file_viewer.h"

#include <cstdio>
#include <vector>

#include "console/platform.h"
#include "files/current_file.h"

namespace octets {
namespace {

// Fewer, larger reads and writes, while the text of a chunk (nine times its
// size at most) still fits in the processor's nearer caches.
constexpr std::size_t VIEW_CHUNK = 64 * 1024;

void show_text(Console& console) {
  if (!open_named_file(console, "r")) return;
  console.write("Rappel : N'affiche que les caractEres imprimables\n");
  console.print_separator();
  // Pieces of at most 99 characters; a zero byte hides the rest of its piece.
  while (std::fgets(line_buffer, LINE_CAPACITY, current_file.stream) != nullptr) {
    console.write(line_buffer);
  }
  if (std::ferror(current_file.stream)) {
    console.write("\nErreur de lecture : le fichier n'a pas pu Etre lu jusqu'au bout\n");
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
  std::int64_t size = measure_file();
  if (size < 0) {
    console.write("Impossible de mesurer la taille du fichier\n");
    close_current_file();
    return;
  }
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
