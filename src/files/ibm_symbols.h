#pragma once

#include <string>
#include <string_view>

#include "console/terminal.h"

namespace octets {

/// The UTF-8 text of the byte's symbol in the IBM PC character set (code page
/// 437): faces, suits and arrows for the control bytes, accented letters, box
/// drawing and Greek letters above 127; tab, line end and carriage return are
/// their symbols too, and the zero byte, blank in the code page, is a white
/// bullet. Every symbol takes one column, and none is a control sequence.
std::string_view ibm_symbol(unsigned char byte);

/// The byte's symbol at a terminal or a console: ibm_symbol() where the
/// symbols can be shown (a UTF-8 terminal, a console); elsewhere the byte
/// itself when it is printable ASCII, "." for every other byte.
std::string_view screen_symbol(unsigned char byte, Screen screen);

/// A file name as it may be shown on `screen`: unchanged in a pipe, a file or
/// a console; at a terminal nothing in it can act on the terminal. A UTF-8
/// terminal shows its printable characters as they are and every other byte as
/// its IBM PC symbol; another terminal shows printable ASCII and "." for the
/// rest.
std::string shown_name(std::string_view name, Screen screen);

}  // namespace octets
