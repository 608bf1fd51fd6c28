#include "files/line_writer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "files/current_file.h"
#include "files/file_system.h"

namespace octets {
namespace {

// A line is held until its line end, so that the file only ever receives whole
// lines; a longer one goes out in parts of this size, so that memory stays
// bounded.
constexpr std::size_t HELD_LINE_MAX = 1024 * 1024;
// Whole lines go to the file together, in writes of about this size: one
// system call a line would cost more than all the rest of the work.
constexpr std::size_t BATCH = 128 * 1024;
constexpr std::string_view PROMPT = "Ligne A enregistrer : ";

/// Only "fin" and its line end, or a bare "fin" as the input's last line;
/// "fin" followed by a zero byte is an ordinary line. The caller knows whether
/// the read began a typed line.
bool is_end_marker(Console& console, std::size_t count) {
  if (count == 4) return std::memcmp(line_buffer, "fin\n", 4) == 0;
  return count == 3 && std::memcmp(line_buffer, "fin", 3) == 0 && console.at_end();
}

/// What a failed write left in the file.
enum class Failure {
  none,
  /// The lines are not in the file: nothing of them was written, or what was
  /// written has been cut off again.
  lines_not_written,
  /// Part of a line may still be at the file's end: another program changed
  /// the file, so that cutting it could have taken that program's bytes.
  piece_may_remain,
};

/// The lines going into the file, whole lines in large writes, and where this
/// writer's own bytes lie in the file, so that after a failed write what it
/// wrote of a line is taken back without touching what another program wrote.
class LineFile {
 public:
  explicit LineFile(std::FILE* stream) : stream_(stream) { pending_.reserve(BATCH + LINE_CAPACITY); }

  /// Adds the text of a piece of a line; `ends_line` when the typed piece ended
  /// with its line end. False once a write has failed.
  bool add(std::string_view text, bool ends_line) {
    if (failure_ != Failure::none) return false;
    if (ends_line) {
      // Room first: when memory runs out, only whole lines are pending.
      pending_.reserve(pending_.size() + held_.size() + text.size());
      pending_.append(held_);
      pending_.append(text);
      held_.clear();
      return pending_.size() < BATCH || write_pending();
    }
    held_.append(text);
    if (held_.size() < HELD_LINE_MAX) return true;
    // A line too long to hold goes out in parts, after the lines before it.
    if (!write_pending()) return false;
    pending_.swap(held_);
    return write_pending();
  }

  /// Puts every whole line added so far in the file. False once a write has
  /// failed.
  bool write_pending() {
    if (failure_ != Failure::none) return false;
    if (pending_.empty()) return true;
    TextWrite written = write_text(stream_, pending_.data(), pending_.size());
    note(written);
    bool whole = written.written == pending_.size();
    if (!whole) take_back(std::string_view(pending_).substr(written.written));
    pending_.clear();
    return whole;
  }

  /// Writes everything, a last line that had no line end included.
  bool finish() {
    if (!write_pending()) return false;
    pending_.swap(held_);
    return write_pending();
  }

  Failure failure() const { return failure_; }
  /// How many lines, whole or begun, a failure kept out of the file.
  std::size_t lines_lost() const { return lost_; }

 private:
  /// Follows where this writer's bytes went: whole lines up to `whole_end_`,
  /// then, when `begun_`, part of a line up to `own_end_`.
  void note(const TextWrite& written) {
    if (written.written == 0) return;
    std::string_view text(pending_.data(), written.written);
    if (!begun_) {
      whole_end_ = written.start;
    } else if (written.start != own_end_) {
      // Another program wrote between two parts of a line: where that line
      // begins is no longer known.
      whole_end_ = -1;
    }
    std::size_t last = text.rfind('\n');
    if (last != std::string_view::npos) {
      whole_end_ = written.start < 0 ? -1 : written.start + static_cast<std::int64_t>(last) + 1;
    }
    begun_ = text.back() != '\n';
    own_end_ = written.end;
  }

  void take_back(std::string_view unwritten) {
    failure_ = Failure::lines_not_written;
    lost_ = static_cast<std::size_t>(std::count(unwritten.begin(), unwritten.end(), '\n'));
    if (unwritten.back() != '\n') ++lost_;
    if (!begun_) return;
    // Only while the file still ends where this writer's last write ended:
    // then the line's bytes are the last ones, and cutting them neither takes
    // another program's lines nor regrows a file that was emptied meanwhile.
    bool own_end = whole_end_ >= 0 && own_end_ >= 0 && stored_size(stream_) == own_end_;
    if (!own_end || !truncate_file(stream_, whole_end_)) failure_ = Failure::piece_may_remain;
  }

  std::FILE* stream_;
  /// Whole lines not yet written.
  std::string pending_;
  /// The pieces of the line being typed.
  std::string held_;
  /// True while the file ends with part of a line this writer wrote.
  bool begun_ = false;
  /// The offset just past the last whole line this writer wrote, where a
  /// begun line starts; -1 when that is not known.
  std::int64_t whole_end_ = -1;
  /// The offset just past this writer's last byte.
  std::int64_t own_end_ = -1;
  Failure failure_ = Failure::none;
  std::size_t lost_ = 0;
};

void report(Console& console, const LineFile& lines, bool lines_follow) {
  if (lines.failure() == Failure::piece_may_remain) {
    console.write("\nErreur d'Ecriture : un morceau de la derniEre ligne est peut-Etre restE "
                  "A la fin du fichier '");
  } else if (lines.lines_lost() > 1) {
    console.write("\nErreur d'Ecriture : les ");
    console.write(static_cast<std::int64_t>(lines.lines_lost()));
    console.write(" derniEres lignes n'ont pas pu Etre Ecrites dans le fichier '");
  } else {
    console.write("\nErreur d'Ecriture : la derniEre ligne n'a pas pu Etre Ecrite dans le fichier '");
  }
  write_name(console, current_file.name);
  console.write(lines_follow ? "' ; les lignes suivantes ne seront pas enregistrEes\n" : "'\n");
}

/// Reads lines up to "fin" or the end of input into `lines`, and tells a
/// failed write at once.
void take_lines(Console& console, LineFile& lines) {
  bool reported = false;
  for (;;) {
    // Every line read is in the file before the dialogue shows more or waits
    // for input, so that a reader that goes away or an interruption at a
    // prompt loses none; lines that arrive together still go in one write.
    // A failed write is told before the next prompt, with the lines it lost.
    bool shows_or_waits =
        console.would_wait(LINE_CAPACITY) || console.output_room() < PROMPT.size();
    if (!reported && shows_or_waits && !lines.write_pending()) {
      reported = true;
      report(console, lines, true);
    }
    // Only a typed line can be the end marker: the last piece of a longer
    // line, or the rest of a name line that was cut, is text like any other.
    bool typed_line = !console.line_begun();
    console.write(PROMPT);
    std::size_t count = console.read_line(line_buffer, LINE_CAPACITY);
    if (count == 0 || (typed_line && is_end_marker(console, count))) return;
    // After a failure the lines are still read up to "fin", so that none of
    // them is taken for an answer to a later question.
    if (reported) continue;
    // A zero byte ends the text that is written, not the typed line.
    if (!lines.add({line_buffer, std::strlen(line_buffer)}, line_buffer[count - 1] == '\n')) {
      reported = true;
      report(console, lines, true);
    }
  }
}

}  // namespace

bool write_lines(Console& console, WriteMode mode) {
  bool append = mode == WriteMode::append;
  OpenFile file = open_named_file(console, append ? "a" : "w");
  if (!file) return true;
  console.write(append ? "Ajoute A la fin du fichier." : "CrEe / Ecrase le fichier.");
  console.write(" Taper 'fin' pour fermer le fichier\n");
  console.print_separator();
  LineFile lines(file.stream());
  bool out_of_memory = false;
  try {
    take_lines(console, lines);
  } catch (const std::bad_alloc&) {
    // The program ends for want of memory, but not before the whole lines
    // already read are in the file and on its storage.
    out_of_memory = true;
  }
  bool reported = lines.failure() != Failure::none;
  // A begun line is written when the input ended it, not when memory ran out.
  if (!reported && !(out_of_memory ? lines.write_pending() : lines.finish())) {
    reported = true;
    report(console, lines, false);
  }
  // The lines are known to be kept only once they are on the storage.
  bool kept = sync_file(file.stream());
  if (!file.close()) kept = false;
  if (!kept && !reported) {
    console.write("\nErreur d'Ecriture : le fichier '");
    write_name(console, current_file.name);
    console.write("' est incomplet\n");
  }
  if (!out_of_memory) return kept && !reported;
  if (kept && !reported) {
    console.write("\nMEmoire insuffisante : le fichier '");
    write_name(console, current_file.name);
    console.write("' a EtE fermE avec les lignes dEjA lues en entier\n");
  }
  throw std::bad_alloc();
}

}  // namespace octets
