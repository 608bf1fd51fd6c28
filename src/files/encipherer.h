#pragma once

#include <string>

#include "console/console.h"
#include "files/xor_pass.h"

namespace octets {

/// The one-line message that tells the user what a pass did to the file.
std::string describe(const CryptResult& result);

/// Asks for a file name, a confirmation and a key from 1 to 255, then enciphers
/// or deciphers the file in place. Every refusal leaves the file untouched. A
/// file another encipherer holds, or one that changed since it was measured, is
/// left alone. A signal that would end the program during the pass puts the
/// file back first. False when the encipherment was asked for, or the file
/// opened, and it did not end well.
bool crypt_file(Console& console);

}  // namespace octets
