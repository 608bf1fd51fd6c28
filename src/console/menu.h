#pragma once

#include "console/console.h"
#include "console/interruption.h"

namespace octets {

/// Runs the main menu until the user answers "n" to the continue question, or
/// until the input ends, or until an operation was interrupted by a signal.
ExitStatus run_menu(Console& console);

}  // namespace octets
