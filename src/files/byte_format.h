#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "console/terminal.h"

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

/// A byte view at a screen, in rows: each row the position of its first byte
/// in decimal, right-aligned on the width of the view's last position; the
/// row's values, each right-aligned on the width of the view's widest; then
/// the symbol of each of its bytes, as screen_symbol() gives it. In colour,
/// each value and each symbol but a blank one has the colour of its byte's
/// kind, and each row ends in the usual colour.
class ByteRows {
 public:
  /// `size`: how many bytes the view shows. The rows are for 80 columns
  /// until set_width() says otherwise.
  ByteRows(const ByteFormat& format, Screen screen, bool coloured, std::int64_t size);
  /// The rows that follow hold the most values that leave the last of `width`
  /// columns empty, as a console wraps a row that reaches it: a power of two,
  /// or one when not even two fit. A width of 0 (not known) counts as 80.
  void set_width(int width);
  /// The rows of the bytes that follow, each after a line end but the view's
  /// first. A call's first byte begins a row, so each call but the last gives
  /// whole rows: a multiple of 65536 bytes does. The text is valid until the
  /// next call.
  std::string_view rows(const unsigned char* bytes, std::size_t count);

 private:
  struct Symbol {
    std::array<char, 4> text;
    std::size_t size;
    bool blank;
  };
  bool coloured_;
  std::array<std::array<char, 16>, 256> values_;
  std::array<Symbol, 256> symbols_;
  std::size_t value_width_ = 0;
  std::size_t position_width_;
  std::size_t per_row_ = 1;
  std::uint64_t position_ = 0;
  std::vector<char> text_;
};

}  // namespace octets
