#pragma once

#include <cstddef>
#include <string>
#include <string_view>
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

/// Cuts a byte view's text into rows of whole values for a screen `width`
/// columns wide: a line end goes before each value (its digits and its space)
/// that would not fit in what is left of the row. A value wider than a whole
/// row gets a row of its own.
class ViewRows {
 public:
  explicit ViewRows(std::size_t width) : width_(width) {}
  /// Appends `values`, whole values each ending with a space, to `rows`. The
  /// row goes on from one call to the next.
  void append(std::string_view values, std::string& rows);
  /// The rows that follow are `width` columns wide; a row already longer
  /// than that ends before the next value.
  void set_width(std::size_t width) { width_ = width; }

 private:
  std::size_t width_;
  std::size_t column_ = 0;
};

}  // namespace octets
