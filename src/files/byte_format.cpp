#include "files/byte_format.h"

#include <array>
#include <cstring>
#include <iterator>
#include <string_view>

#include "files/byte_format_x86.h"

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
constexpr std::size_t COLOUR_LENGTH = COLOURED_TEXT_MAX - 1 - BYTE_TEXT_MAX;
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

ColouredValues::ColouredValues(const ByteFormat& format, std::size_t width)
    : format_(format), width_(width == 0 ? static_cast<std::size_t>(-1) : width) {}

char* ColouredValues::format(const unsigned char* bytes, std::size_t count, char* text) {
  // A colour change a run, and runs are short in most files that are not
  // text: each byte's line end, colour and value are always written and kept
  // only when needed, which spares the processor branches it cannot foresee.
  const ByteTexts& texts = *format_.texts;
  std::size_t column = column_;
  int shown = shown_;
  for (std::size_t i = 0; i < count; ++i) {
    const unsigned char byte = bytes[i];
    const int kind = KINDS[byte];
    const std::size_t length = texts.length[byte];
    const bool new_row = column != 0 && column + length > width_;
    *text = '\n';
    text += new_row;
    column = new_row ? 0 : column;
    std::memcpy(text, COLOURS[kind].data(), COLOURS[kind].size());
    text += kind != shown ? COLOUR_LENGTH : 0;
    shown = kind;
    std::memcpy(text, texts.text[byte].data(), texts.text[byte].size());
    text += length;
    column += length;
  }
  column_ = column;
  shown_ = shown;
  return text;
}

void ColouredValues::finish(std::string& text) {
  if (shown_ < 0) return;
  shown_ = -1;
  text += USUAL_COLOUR;
}

void ViewRows::append(std::string_view values, std::string& rows) {
  // A row at a time: the values that fit are the ones up to the last space
  // within the room left.
  while (!values.empty()) {
    std::size_t room = column_ < width_ ? width_ - column_ : 0;
    if (values.size() <= room) {
      rows += values;
      column_ += values.size();
      return;
    }
    std::size_t fitting = room == 0 ? 0 : values.rfind(' ', room - 1) + 1;
    if (fitting == 0 && column_ == 0) {
      // Not even one value fits in a whole row: the terminal wraps it.
      fitting = values.find(' ') + 1;
      if (fitting == 0) fitting = values.size();
    }
    rows += values.substr(0, fitting);
    column_ += fitting;
    if (fitting == values.size()) return;
    rows += '\n';
    column_ = 0;
    values.remove_prefix(fitting);
  }
}

}  // namespace octets
