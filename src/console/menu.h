#pragma once

#include "console/console.h"

namespace octets {

/// Runs the main menu until the user answers "n" to the continue question, or
/// until the input ends. Returns the exit status: 1 when a line write, a sync
/// or an encipherment failed, or some of the dialogue could not be written or
/// its input read; 0 otherwise.
int run_menu(Console& console);

}  // namespace octets
