#pragma once

#include "console/console.h"

namespace octets {

/// Runs the main menu until the user answers "n" to the continue question, or
/// until the input ends. Returns the exit status: 0, or 1 when the dialogue
/// could not be written to the output.
int run_menu(Console& console);

}  // namespace octets
