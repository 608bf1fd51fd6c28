#pragma once

#include "console/console.h"
#include "files/byte_format.h"

namespace octets {

/// What tells one view from the others.
struct ViewKind {
  /// The menu choice that shows it.
  char choice;
  const char* open_mode;
  /// Ends a byte view's size line; null for the text view, which shows no size.
  const char* heading;
  /// How a byte view writes its values; null for the text view.
  const ByteFormat* format;
};

/// The views, in the menu's order. The text view reads with the platform's
/// text conventions, the byte views see every byte as it is.
inline constexpr ViewKind VIEWS[] = {
    {'3', "r", nullptr, nullptr},
    {'4', "rb", " ; Affichage en base 10\n", &DECIMAL_FORMAT},
    {'5', "rb", " ; Affichage en base 16\n", &HEXADECIMAL_FORMAT},
    {'6', "rb", " ; Affichage en base 2\n", &BINARY_FORMAT},
};

/// The view a menu choice shows; null for a choice that shows none.
const ViewKind* chosen_view(char choice);

/// Asks for a file name and shows that file as text, or its size and every
/// byte's value. Closes the file before returning.
void show_file(Console& console, const ViewKind& view);

}  // namespace octets
