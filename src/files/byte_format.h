#pragma once

#include <cstddef>
#include <vector>

namespace octets {

/// The base a byte view writes its values in.
enum class Base { decimal, hexadecimal, binary };

/// The most characters one byte takes in a byte view ("01000001 " in binary).
inline constexpr std::size_t BYTE_TEXT_MAX = 9;
/// Room that format_bytes may write past the end of its text.
inline constexpr std::size_t FORMAT_SLACK = 16;

/// Fills `digits` with the byte's eight binary digits, most significant first,
/// and a terminating zero.
constexpr void byte_to_binary(unsigned char byte, char digits[9]) {
  for (int i = 0; i < 8; ++i) digits[7 - i] = (byte >> i) & 1 ? '1' : '0';
  digits[8] = '\0';
}

/// How format_bytes does its work: the same text by plain table look-ups or
/// with the processor's vector instructions.
enum class FormatPath { portable, ssse3, avx2 };

/// The paths this processor and build can run, portable first, the fastest last.
std::vector<FormatPath> supported_format_paths();

/// Writes every byte as a byte view shows it ("65 ", "41 " or "01000001 ") into
/// `text` and returns the end of what was written. `text` needs room for
/// BYTE_TEXT_MAX characters a byte plus FORMAT_SLACK. Takes the fastest path.
char* format_bytes(Base base, const unsigned char* bytes, std::size_t count, char* text);

/// The same text by the given path, which must be one of the supported ones.
char* format_bytes(Base base, FormatPath path, const unsigned char* bytes, std::size_t count,
                   char* text);

}  // namespace octets
