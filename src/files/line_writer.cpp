#include "files/line_writer.h"

#include <cstdio>
#include <cstring>

#include "files/current_file.h"
#include "files/file_system.h"

namespace octets {
namespace {

/// Only "fin" and its line end, or a bare "fin" as the input's last line;
/// "fin" followed by a zero byte is an ordinary line.
bool is_end_marker(Console& console, std::size_t count) {
  if (count == 4) return std::memcmp(line_buffer, "fin\n", 4) == 0;
  return count == 3 && std::memcmp(line_buffer, "fin", 3) == 0 && console.at_end();
}

}  // namespace

void write_lines(Console& console, WriteMode mode) {
  bool append = mode == WriteMode::append;
  OpenFile file = open_named_file(console, append ? "a" : "w");
  if (!file) return;
  console.write(append ? "Ajoute A la fin du fichier." : "CrEe / Ecrase le fichier.");
  console.write(" Taper 'fin' pour fermer le fichier\n");
  console.print_separator();
  // Where the last line written whole ends: a failed write cuts the file back
  // there, so that no torn line is left for the next append to be glued to.
  std::int64_t whole = stored_size(file.stream());
  bool torn = false;
  for (;;) {
    console.write("Ligne A enregistrer : ");
    std::size_t count = console.read_line(line_buffer, LINE_CAPACITY);
    if (count == 0 || is_end_marker(console, count)) break;
    // The stream has no buffer, so each line reaches the file before the next
    // one is asked for, and a failure is known at once.
    if (std::fputs(line_buffer, file.stream()) < 0 ||
        std::fflush(file.stream()) != 0) {
      torn = true;
      break;
    }
    // A line longer than the buffer arrives in pieces: it is whole once its
    // line end is written. (A last line without one ends the input, so no
    // write can fail after it.)
    if (line_buffer[count - 1] == '\n') whole = stored_size(file.stream());
  }
  bool cut_back = torn && whole >= 0 && truncate_file(file.stream(), whole);
  // The lines are known to be kept only once they are on the storage.
  bool kept = !torn && sync_file(file.stream());
  if (!file.close()) kept = false;
  if (cut_back) {
    console.write("\nErreur d'Ecriture : la derniEre ligne n'a pas pu Etre Ecrite dans le fichier '");
    console.write(current_file.name);
    console.write("'\n");
  } else if (torn || !kept) {
    console.write("\nErreur d'Ecriture : le fichier '");
    console.write(current_file.name);
    console.write("' est incomplet\n");
  }
}

}  // namespace octets
