#include "files/line_writer.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "files/current_file.h"
#include "files/file_system.h"

namespace octets {
namespace {

// A line is held until its line end, so that the file only ever receives whole
// lines; a longer one goes out in parts of this size, so that memory stays
// bounded.
constexpr std::size_t HELD_LINE_MAX = 1024 * 1024;

/// Only "fin" and its line end, or a bare "fin" as the input's last line;
/// "fin" followed by a zero byte is an ordinary line.
bool is_end_marker(Console& console, std::size_t count) {
  if (count == 4) return std::memcmp(line_buffer, "fin\n", 4) == 0;
  return count == 3 && std::memcmp(line_buffer, "fin", 3) == 0 && console.at_end();
}

/// What a failed write left in the file.
enum class Failure {
  none,
  /// The line is not in the file: nothing of it was written, or what was
  /// written has been cut off again.
  line_not_written,
  /// Part of the line may still be at the file's end: another program changed
  /// the file, so that cutting it could have taken that program's bytes.
  piece_may_remain,
};

/// The lines going into the file, each in one write once its line end has
/// come, and where this writer's own bytes lie in the file, so that a line that
/// failed is taken back without touching what another program wrote.
class LineFile {
 public:
  explicit LineFile(std::FILE* stream) : stream_(stream) {}

  /// Adds the text of a piece of a line; `ends_line` when the typed piece ended
  /// with its line end. False once a write has failed.
  bool add(std::string_view text, bool ends_line) {
    held_.append(text);
    if (!ends_line && held_.size() < HELD_LINE_MAX) return true;
    return write_held(ends_line);
  }

  /// Writes what is held of a last line that had no line end.
  bool finish() { return held_.empty() || write_held(true); }

  Failure failure() const { return failure_; }

 private:
  bool write_held(bool ends_line) {
    TextWrite written = write_text(stream_, held_.data(), held_.size());
    if (written.written > 0) {
      if (!line_begun_) {
        line_start_ = written.start;
      } else if (written.start != own_end_) {
        // Another program wrote between two parts of the line.
        line_start_ = -1;
      }
      line_begun_ = true;
      own_end_ = written.end;
    }
    bool whole = written.written == held_.size();
    held_.clear();
    if (!whole) {
      take_back();
      return false;
    }
    if (ends_line) line_begun_ = false;
    return true;
  }

  void take_back() {
    failure_ = Failure::line_not_written;
    if (!line_begun_) return;
    // Only while the file still ends where this writer's last write ended:
    // then the line's bytes are the last ones, and cutting them neither takes
    // another program's lines nor regrows a file that was emptied meanwhile.
    bool own_end = line_start_ >= 0 && own_end_ > line_start_ && stored_size(stream_) == own_end_;
    if (!own_end || !truncate_file(stream_, line_start_)) failure_ = Failure::piece_may_remain;
  }

  std::FILE* stream_;
  std::string held_;
  /// True once part of the line being written is in the file.
  bool line_begun_ = false;
  /// The offset where the line being written begins, -1 when its parts do not
  /// follow each other.
  std::int64_t line_start_ = -1;
  /// The offset just past this writer's last byte.
  std::int64_t own_end_ = -1;
  Failure failure_ = Failure::none;
};

void report(Console& console, Failure failure, bool lines_follow) {
  console.write(failure == Failure::piece_may_remain
                    ? "\nErreur d'Ecriture : un morceau de la derniEre ligne est peut-Etre restE "
                      "A la fin du fichier '"
                    : "\nErreur d'Ecriture : la derniEre ligne n'a pas pu Etre Ecrite dans le "
                      "fichier '");
  write_name(console, current_file.name);
  console.write(lines_follow ? "' ; les lignes suivantes ne seront pas enregistrEes\n" : "'\n");
}

}  // namespace

void write_lines(Console& console, WriteMode mode) {
  bool append = mode == WriteMode::append;
  OpenFile file = open_named_file(console, append ? "a" : "w");
  if (!file) return;
  console.write(append ? "Ajoute A la fin du fichier." : "CrEe / Ecrase le fichier.");
  console.write(" Taper 'fin' pour fermer le fichier\n");
  console.print_separator();
  LineFile lines(file.stream());
  bool failed = false;
  for (;;) {
    console.write("Ligne A enregistrer : ");
    std::size_t count = console.read_line(line_buffer, LINE_CAPACITY);
    if (count == 0 || is_end_marker(console, count)) break;
    // After a failure the lines are still read up to "fin", so that none of
    // them is taken for an answer to a later question.
    if (failed) continue;
    // A zero byte ends the text that is written, not the typed line.
    if (!lines.add({line_buffer, std::strlen(line_buffer)}, line_buffer[count - 1] == '\n')) {
      failed = true;
      report(console, lines.failure(), true);
    }
  }
  if (!failed && !lines.finish()) {
    failed = true;
    report(console, lines.failure(), false);
  }
  // The lines are known to be kept only once they are on the storage.
  bool kept = sync_file(file.stream());
  if (!file.close()) kept = false;
  if (!kept && !failed) {
    console.write("\nErreur d'Ecriture : le fichier '");
    write_name(console, current_file.name);
    console.write("' est incomplet\n");
  }
}

}  // namespace octets
