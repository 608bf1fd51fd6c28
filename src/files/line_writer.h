#pragma once

#include "console/console.h"

namespace octets {

/// Create empties the file or makes a new one; append adds after its content.
enum class WriteMode { create, append };

/// Asks for a file name, then writes each typed line to that text file until the
/// line "fin" or the end of input. A failed write is reported and ends the input.
void write_lines(Console& console, WriteMode mode);

}  // namespace octets
