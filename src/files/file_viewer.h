#pragma once

#include "console/console.h"
#include "files/byte_format.h"

namespace octets {

/// Asks for a file name and shows that file as text, or its size and every
/// byte's value in base 10, 16 or 2. Closes the file before returning.
void show_file(Console& console, ViewKind kind);

}  // namespace octets
