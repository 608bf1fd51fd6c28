#pragma once

#include "console/console.h"

namespace octets {

/// Create empties the file or makes a new one; append adds after its content.
enum class WriteMode { create, append };

/// Asks for a file name, then writes each typed line to that text file until the
/// line "fin" or the end of input; "fin" counts only as a whole typed line,
/// never as the end of a longer one or of a name line that was cut. Only whole
/// lines reach the file: the pieces of a long line are held until its line end
/// (up to 1 MiB). A failed write is reported before the next prompt, what this
/// writer wrote of that line is taken back when nothing else changed the file,
/// and the lines up to "fin" are read but not written. When memory runs out,
/// the whole lines already read are put in the file and on its storage, that
/// is told, and std::bad_alloc goes on. False when a write, the sync or the
/// close failed.
bool write_lines(Console& console, WriteMode mode);

}  // namespace octets
