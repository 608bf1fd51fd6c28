#include "files/line_writer.h"

#include <cstdio>
#include <cstring>

#include "files/current_file.h"

namespace octets {

void write_lines(Console& console, WriteMode mode) {
  bool append = mode == WriteMode::append;
  if (!open_named_file(console, append ? "a" : "w")) return;
  console.write(append ? "Ajoute A la fin du fichier." : "CrEe / Ecrase le fichier.");
  console.write(" Taper 'fin' pour fermer le fichier\n");
  console.print_separator();
  bool written = true;
  for (;;) {
    console.write("Ligne A enregistrer : ");
    if (console.read_line(line_buffer, LINE_CAPACITY) == 0) break;
    if (std::strcmp(line_buffer, "fin\n") == 0) break;
    // The last line of the input may lack its line end.
    if (std::strcmp(line_buffer, "fin") == 0 && console.at_end()) break;
    // Flushed line by line, so that a failure is known before the next line is
    // asked for and no typed line is lost without a word.
    if (std::fputs(line_buffer, current_file.stream) < 0 ||
        std::fflush(current_file.stream) != 0) {
      written = false;
      break;
    }
  }
  if (!close_current_file()) written = false;
  if (!written) {
    console.write("\nErreur d'Ecriture : le fichier '");
    console.write(current_file.name);
    console.write("' est incomplet\n");
  }
}

}  // namespace octets
