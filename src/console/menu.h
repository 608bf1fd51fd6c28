#pragma once

#include "console/console.h"

namespace octets {

/// Runs the main menu until the user answers "n" to the continue question, or
/// until the input ends. Returns the exit status: 0; 1 when some of the
/// dialogue could not be written to the output or the input could not be read;
/// 128 and the signal's number when an operation was interrupted by a signal.
int run_menu(Console& console);

}  // namespace octets
