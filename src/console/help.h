#pragma once

#include "console/console.h"

namespace octets {

/// Writes the help page: what the program is for and how to name a file.
void show_help(Console& console);

}  // namespace octets
