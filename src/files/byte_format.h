#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace octets {

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

/// Formats whole blocks from the start of `bytes` with vector instructions,
/// moves `text` past what it wrote and returns how many bytes it formatted;
/// the rest is left to the table look-ups.
using BlockFormatter = std::size_t(const unsigned char* bytes, std::size_t count, char*& text);

/// Every byte's text in one view, for table look-ups.
struct ByteTexts;

/// How one byte view writes its values: by table look-ups, and faster by the
/// vector formatter of each path that has one (null where it has none).
struct ByteFormat {
  const ByteTexts* texts;
  char* (*portable)(const unsigned char* bytes, std::size_t count, char* text);
  BlockFormatter* ssse3;
  BlockFormatter* avx2;
};

/// "65 ", "41 " and "01000001 ": the value in decimal without leading zeros,
/// in two upper-case hexadecimal digits, in eight binary digits; then a space.
extern const ByteFormat DECIMAL_FORMAT;
extern const ByteFormat HEXADECIMAL_FORMAT;
extern const ByteFormat BINARY_FORMAT;

/// Writes every byte as its view shows it into `text` and returns the end of
/// what was written. `text` needs room for BYTE_TEXT_MAX characters a byte
/// plus FORMAT_SLACK. Takes the fastest path.
char* format_bytes(const ByteFormat& format, const unsigned char* bytes, std::size_t count,
                   char* text);

/// The same text by the given path, which must be one of the supported ones.
char* format_bytes(const ByteFormat& format, FormatPath path, const unsigned char* bytes,
                   std::size_t count, char* text);

/// What a byte is, as the views colour it.
enum class ByteKind : unsigned char { zero, printable, white_space, control, high };

/// Zero; printable ASCII (33 to 126); ASCII white space (space, tab, line
/// feed, vertical tab, form feed, carriage return); the other control bytes (1
/// to 31, 127); 128 to 255.
constexpr ByteKind byte_kind(unsigned char byte) {
  if (byte == 0) return ByteKind::zero;
  if (byte >= 128) return ByteKind::high;
  if (byte > ' ' && byte < 127) return ByteKind::printable;
  if (byte == ' ' || (byte >= '\t' && byte <= '\r')) return ByteKind::white_space;
  return ByteKind::control;
}

/// How a kind of byte shows at a terminal that shows colours: its name in the
/// legend, and the control sequence that sets its foreground colour.
struct KindColour {
  const char* name;
  const char* colour;
};

/// By ByteKind. Colours of the 16-colour palette that read on a dark and on a
/// light background alike: grey, green, cyan, red, magenta.
inline constexpr KindColour KIND_COLOURS[] = {
    {"zEro", "\x1b[90m"},
    {"imprimable", "\x1b[32m"},
    {"espacement", "\x1b[36m"},
    {"contrOle", "\x1b[31m"},
    {"128 A 255", "\x1b[35m"},
};
/// Gives the terminal's own foreground colour back.
inline constexpr const char* USUAL_COLOUR = "\x1b[39m";

/// Colours text by the kind of the bytes it shows: one colour change before
/// each run of bytes of one kind. Runs go on from one call to the next.
class KindColours {
 public:
  /// Appends the colour of `kind` unless it is the one already set.
  void change_to(ByteKind kind, std::string& text);
  /// Gives the usual colour back, if another was set.
  void finish(std::string& text);

 private:
  std::optional<ByteKind> shown_;
};

/// The most characters one byte takes in a byte view in colour: a line end, a
/// colour change and its value.
inline constexpr std::size_t COLOURED_TEXT_MAX = 1 + 5 + BYTE_TEXT_MAX;

/// A byte view's values at a screen that shows colours: each run of bytes of
/// one kind after its kind's colour, in rows of whole values as ViewRows cuts
/// them, the colour changes taking no room. Runs and rows go on from one call
/// to the next.
class ColouredValues {
 public:
  /// A `width` of 0 keeps the values on one line.
  ColouredValues(const ByteFormat& format, std::size_t width);
  /// Writes the bytes' values into `text` and returns the end of what was
  /// written. `text` needs room for COLOURED_TEXT_MAX characters a byte plus
  /// FORMAT_SLACK.
  char* format(const unsigned char* bytes, std::size_t count, char* text);
  /// Appends what gives the usual colour back, if another was set.
  void finish(std::string& text);
  /// The rows that follow are `width` (not 0) columns wide; a row already
  /// longer than that ends before the next value.
  void set_width(std::size_t width) { width_ = width; }

 private:
  const ByteFormat& format_;
  std::size_t width_;
  std::size_t column_ = 0;
  int shown_ = -1;
};

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
