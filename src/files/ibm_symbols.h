#pragma once

#include <string>
#include <string_view>

#include "console/terminal.h"

namespace octets {

/// The UTF-8 text of the byte's symbol in the IBM PC character set (code page
/// 437): faces, suits and arrows for the control bytes, accented letters, box
/// drawing and Greek letters above 127. Line end and tab stay themselves, as
/// they act on a terminal as on a console; a carriage return, which would let
/// what follows overwrite its line, is its symbol; the zero byte is a space. No
/// byte yields a control sequence.
std::string_view ibm_symbol(unsigned char byte);

/// The byte itself when it is printable ASCII, a line end or a tab; "." for
/// every other byte.
char ascii_symbol(unsigned char byte);

/// A file name as it may be shown on `screen`: unchanged in a pipe, a file or
/// a console; at a terminal nothing in it can act on the terminal. A UTF-8
/// terminal shows its printable characters as they are and every other byte as
/// its IBM PC symbol; another terminal shows printable ASCII and "." for the
/// rest.
std::string shown_name(std::string_view name, Screen screen);

}  // namespace octets
