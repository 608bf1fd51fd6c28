#include "files/byte_format.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <iterator>
#include <string_view>

#include "files/byte_format_x86.h"
#include "files/ibm_symbols.h"

namespace octets {

// Each byte's text is ready-made and padded to a fixed width, so formatting is
// one fixed-size copy a byte and the length decides where the next one starts.
struct ByteTexts {
  std::array<std::array<char, 16>, 256> text{};
  std::array<unsigned char, 256> length{};
};

namespace {

/// Writes the digits of a byte's value as its view shows them; returns how many.
using DigitWriter = int(int value, char* digits);

constexpr int decimal_digits(int value, char* digits) {
  int n = 0;
  if (value >= 100) digits[n++] = static_cast<char>('0' + value / 100);
  if (value >= 10) digits[n++] = static_cast<char>('0' + value / 10 % 10);
  digits[n++] = static_cast<char>('0' + value % 10);
  return n;
}

constexpr int hexadecimal_digits(int value, char* digits) {
  constexpr char HEX[] = "0123456789ABCDEF";
  digits[0] = HEX[value >> 4];
  digits[1] = HEX[value & 15];
  return 2;
}

constexpr int binary_digits(int value, char* digits) {
  char with_end[9] = {};
  byte_to_binary(static_cast<unsigned char>(value), with_end);
  for (int i = 0; i < 8; ++i) digits[i] = with_end[i];
  return 8;
}

constexpr ByteTexts make_texts(DigitWriter* write_digits) {
  ByteTexts texts;
  for (int value = 0; value < 256; ++value) {
    auto& text = texts.text[value];
    int n = write_digits(value, text.data());
    text[n++] = ' ';
    texts.length[value] = static_cast<unsigned char>(n);
  }
  return texts;
}

constexpr ByteTexts DECIMAL = make_texts(decimal_digits);
constexpr ByteTexts HEXADECIMAL = make_texts(hexadecimal_digits);
constexpr ByteTexts BINARY = make_texts(binary_digits);

/// Copies WIDTH bytes of each text; STEP is the texts' length when all have the
/// same, which spares looking it up, or 0 when it varies.
// Aligned so that the loop's closing branch never straddles a line of code:
// where it did, the hexadecimal view took more than half as long again.
template <const ByteTexts& TEXTS, std::size_t WIDTH, std::size_t STEP>
[[gnu::aligned(64)]] char* format_with(const unsigned char* bytes, std::size_t count, char* text) {
  for (std::size_t i = 0; i < count; ++i) {
    unsigned char byte = bytes[i];
    std::memcpy(text, TEXTS.text[byte].data(), WIDTH);
    text += STEP != 0 ? STEP : TEXTS.length[byte];
  }
  return text;
}

BlockFormatter* vector_formatter(const ByteFormat& format, FormatPath path) {
  switch (path) {
    case FormatPath::portable:
      return nullptr;
    case FormatPath::ssse3:
      return format.ssse3;
    case FormatPath::avx2:
      return format.avx2;
  }
  return nullptr;
}

char* format_through(const ByteFormat& format, BlockFormatter* vector,
                     const unsigned char* bytes, std::size_t count, char* text) {
  if (vector != nullptr) {
    std::size_t done = vector(bytes, count, text);
    bytes += done;
    count -= done;
  }
  return format.portable(bytes, count, text);
}

constexpr std::array<unsigned char, 256> KINDS = [] {
  std::array<unsigned char, 256> kinds{};
  for (int byte = 0; byte < 256; ++byte) {
    kinds[byte] = static_cast<unsigned char>(byte_kind(static_cast<unsigned char>(byte)));
  }
  return kinds;
}();

// Every colour change has the same length, so that a byte's is written
// whether needed or not and kept only when needed.
constexpr std::size_t COLOUR_LENGTH = 5;
constexpr std::array<std::array<char, 8>, std::size(KIND_COLOURS)> COLOURS = [] {
  std::array<std::array<char, 8>, std::size(KIND_COLOURS)> colours{};
  for (std::size_t kind = 0; kind < colours.size(); ++kind) {
    std::string_view colour = KIND_COLOURS[kind].colour;
    if (colour.size() != COLOUR_LENGTH) throw "a colour change of another length";
    for (std::size_t i = 0; i < colour.size(); ++i) colours[kind][i] = colour[i];
  }
  return colours;
}();

}  // namespace

// The vector formatters of a view, on the paths this build has.
#if defined(OCTETS_X86_AVX2)
#define OCTETS_VECTORS(view) format_##view##_ssse3, format_##view##_avx2
#elif defined(OCTETS_X86_VECTORS)
#define OCTETS_VECTORS(view) format_##view##_ssse3, nullptr
#else
#define OCTETS_VECTORS(view) nullptr, nullptr
#endif

const ByteFormat DECIMAL_FORMAT{&DECIMAL, format_with<DECIMAL, 4, 0>, OCTETS_VECTORS(decimal)};
const ByteFormat HEXADECIMAL_FORMAT{&HEXADECIMAL, format_with<HEXADECIMAL, 4, 3>,
                                   OCTETS_VECTORS(hexadecimal)};
const ByteFormat BINARY_FORMAT{&BINARY, format_with<BINARY, 16, 9>, OCTETS_VECTORS(binary)};

std::vector<FormatPath> supported_format_paths() {
  std::vector<FormatPath> paths{FormatPath::portable};
#if defined(OCTETS_X86_VECTORS)
  if (processor_has_ssse3()) paths.push_back(FormatPath::ssse3);
#endif
#if defined(OCTETS_X86_AVX2)
  if (processor_has_avx2()) paths.push_back(FormatPath::avx2);
#endif
  return paths;
}

char* format_bytes(const ByteFormat& format, const unsigned char* bytes, std::size_t count,
                   char* text) {
  // Chosen on the first call rather than during static initialisation, which
  // keeps start-up to what the dialogue needs.
  static const FormatPath fastest = supported_format_paths().back();
  return format_through(format, vector_formatter(format, fastest), bytes, count, text);
}

char* format_bytes(const ByteFormat& format, FormatPath path, const unsigned char* bytes,
                   std::size_t count, char* text) {
  return format_through(format, vector_formatter(format, path), bytes, count, text);
}

void KindColours::change_to(ByteKind kind, std::string& text) {
  if (shown_ == kind) return;
  shown_ = kind;
  text += KIND_COLOURS[static_cast<int>(kind)].colour;
}

void KindColours::finish(std::string& text) {
  if (!shown_) return;
  shown_.reset();
  text += USUAL_COLOUR;
}

ByteRows::ByteRows(const ByteFormat& format, Screen screen, bool coloured, std::int64_t size)
    : coloured_(coloured),
      position_width_(std::to_string(std::max<std::int64_t>(size - 1, 0)).size()) {
  const ByteTexts& texts = *format.texts;
  for (unsigned char length : texts.length) {
    value_width_ = std::max<std::size_t>(value_width_, length);
  }
  for (int byte = 0; byte < 256; ++byte) {
    const std::size_t length = texts.length[byte];
    values_[byte].fill(' ');
    std::memcpy(values_[byte].data() + value_width_ - length, texts.text[byte].data(), length);
    std::string_view symbol = screen_symbol(static_cast<unsigned char>(byte), screen);
    symbols_[byte] = {{}, symbol.size(), symbol == " " || symbol == "\u00A0"};
    std::memcpy(symbols_[byte].text.data(), symbol.data(), symbol.size());
  }
  set_width(0);
}

void ByteRows::set_width(int width) {
  // The position and a space, the values, a space and the symbols.
  const std::size_t room = static_cast<std::size_t>(width > 0 ? width : 80) - 1;
  per_row_ = 1;
  while (position_width_ + 2 + 2 * per_row_ * (value_width_ + 1) <= room) per_row_ *= 2;
}

std::string_view ByteRows::rows(const unsigned char* bytes, std::size_t count) {
  const std::size_t rows = (count + per_row_ - 1) / per_row_;
  text_.resize(count * (2 * COLOUR_LENGTH + value_width_ + 3) +
               rows * (sizeof(std::uint64_t) * 3 + 3 + COLOUR_LENGTH) + per_row_ * value_width_ +
               2 * FORMAT_SLACK);
  char* text = text_.data();
  // As with the values alone, each byte's colour change is always written and
  // kept only when it is needed.
  int shown = -1;
  auto colour = [&](unsigned char byte) {
    const int kind = KINDS[byte];
    std::memcpy(text, COLOURS[kind].data(), COLOURS[kind].size());
    text += coloured_ && kind != shown ? COLOUR_LENGTH : 0;
    shown = kind;
  };
  for (std::size_t first = 0; first < count; first += per_row_) {
    const std::size_t in_row = std::min(per_row_, count - first);
    if (position_ > 0) *text++ = '\n';
    char digits[sizeof(std::uint64_t) * 3];
    const std::size_t length =
        static_cast<std::size_t>(std::to_chars(digits, std::end(digits), position_).ptr - digits);
    text = std::fill_n(text, position_width_ - std::min(length, position_width_), ' ');
    text = std::copy_n(digits, length, text);
    *text++ = ' ';
    shown = -1;
    for (std::size_t i = first; i < first + in_row; ++i) {
      colour(bytes[i]);
      std::memcpy(text, values_[bytes[i]].data(), values_[bytes[i]].size());
      text += value_width_;
    }
    // A short last row keeps its symbols under those of the rows above.
    text = std::fill_n(text, (per_row_ - in_row) * value_width_ + 1, ' ');
    for (std::size_t i = first; i < first + in_row; ++i) {
      // A blank looks the same in any colour: it keeps the one set, which
      // spares two changes a space in a text.
      if (!symbols_[bytes[i]].blank) colour(bytes[i]);
      std::memcpy(text, symbols_[bytes[i]].text.data(), symbols_[bytes[i]].text.size());
      text += symbols_[bytes[i]].size;
    }
    if (coloured_) text = std::copy_n(USUAL_COLOUR, COLOUR_LENGTH, text);
    position_ += in_row;
  }
  return {text_.data(), static_cast<std::size_t>(text - text_.data())};
}

}  // namespace octets
