#pragma once

#include "console/console.h"

namespace octets {

/// How the file viewer shows a file; each value is the view's letter.
enum class ViewKind : char { text = 'c', decimal = 'd', hexadecimal = 'x', binary = 'b' };

/// Asks for a file name and shows that file as text, or its size and every
/// byte's value in base 10, 16 or 2. Closes the file before returning.
void show_file(Console& console, ViewKind kind);

}  // namespace octets
