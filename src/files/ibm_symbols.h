#pragma once

#include <string_view>

namespace octets {

/// The UTF-8 text of the byte's symbol in the IBM PC character set (code page
/// 437): faces, suits and arrows for the control bytes, accented letters, box
/// drawing and Greek letters above 127. Line end, carriage return and tab stay
/// themselves, as they act on a terminal as on a console; the zero byte is a
/// space. No byte yields a control sequence.
std::string_view ibm_symbol(unsigned char byte);

/// The byte itself when it is printable ASCII, a line end, a carriage return or
/// a tab; "." for every other byte.
char ascii_symbol(unsigned char byte);

}  // namespace octets
