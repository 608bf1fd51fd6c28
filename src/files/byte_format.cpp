#include "files/byte_format.h"

#include <array>
#include <cstring>

#include "files/byte_format_x86.h"

namespace octets {
namespace {

// Each byte's text is ready-made and padded to a fixed width, so formatting is
// one fixed-size copy a byte and the length decides where the next one starts.
struct ByteTexts {
  std::array<std::array<char, 16>, 256> text{};
  std::array<unsigned char, 256> length{};
};

constexpr ByteTexts make_texts(Base base) {
  constexpr char HEX[] = "0123456789ABCDEF";
  ByteTexts texts;
  for (int value = 0; value < 256; ++value) {
    auto& text = texts.text[value];
    int n = 0;
    if (base == Base::decimal) {
      if (value >= 100) text[n++] = static_cast<char>('0' + value / 100);
      if (value >= 10) text[n++] = static_cast<char>('0' + value / 10 % 10);
      text[n++] = static_cast<char>('0' + value % 10);
    } else if (base == Base::hexadecimal) {
      text[n++] = HEX[value >> 4];
      text[n++] = HEX[value & 15];
    } else {
      char digits[9] = {};
      byte_to_binary(static_cast<unsigned char>(value), digits);
      for (int i = 0; i < 8; ++i) text[n++] = digits[i];
    }
    text[n++] = ' ';
    texts.length[value] = static_cast<unsigned char>(n);
  }
  return texts;
}

constexpr ByteTexts DECIMAL = make_texts(Base::decimal);
constexpr ByteTexts HEXADECIMAL = make_texts(Base::hexadecimal);
constexpr ByteTexts BINARY = make_texts(Base::binary);

/// Copies WIDTH bytes of each text; STEP is the texts' length when all have the
/// same, which spares looking it up, or 0 when it varies.
template <std::size_t WIDTH, std::size_t STEP>
char* format_with(const ByteTexts& texts, const unsigned char* bytes, std::size_t count,
                  char* text) {
  for (std::size_t i = 0; i < count; ++i) {
    unsigned char byte = bytes[i];
    std::memcpy(text, texts.text[byte].data(), WIDTH);
    text += STEP != 0 ? STEP : texts.length[byte];
  }
  return text;
}

char* format_portable(Base base, const unsigned char* bytes, std::size_t count, char* text) {
  switch (base) {
    case Base::decimal:
      return format_with<4, 0>(DECIMAL, bytes, count, text);
    case Base::hexadecimal:
      return format_with<4, 3>(HEXADECIMAL, bytes, count, text);
    case Base::binary:
      break;
  }
  return format_with<16, 9>(BINARY, bytes, count, text);
}

using BlockFormatter = std::size_t(const unsigned char*, std::size_t, char*&);

/// The vector formatters of one path, by view; null for the portable path.
struct Formatters {
  BlockFormatter* decimal = nullptr;
  BlockFormatter* hexadecimal = nullptr;
  BlockFormatter* binary = nullptr;
};

Formatters formatters_of(FormatPath path) {
  switch (path) {
#if defined(OCTETS_X86_VECTORS)
    case FormatPath::ssse3:
      return {format_decimal_ssse3, format_hexadecimal_ssse3, format_binary_ssse3};
#endif
#if defined(OCTETS_X86_AVX2)
    case FormatPath::avx2:
      return {format_decimal_avx2, format_hexadecimal_avx2, format_binary_avx2};
#endif
    default:
      return {};
  }
}

char* format_through(const Formatters& formatters, Base base, const unsigned char* bytes,
                     std::size_t count, char* text) {
  BlockFormatter* vector = base == Base::decimal       ? formatters.decimal
                           : base == Base::hexadecimal ? formatters.hexadecimal
                                                       : formatters.binary;
  if (vector != nullptr) {
    std::size_t done = vector(bytes, count, text);
    bytes += done;
    count -= done;
  }
  return format_portable(base, bytes, count, text);
}

}  // namespace

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

char* format_bytes(Base base, const unsigned char* bytes, std::size_t count, char* text) {
  // Chosen on the first call rather than during static initialisation, which
  // keeps start-up to what the dialogue needs.
  static const Formatters fastest = formatters_of(supported_format_paths().back());
  return format_through(fastest, base, bytes, count, text);
}

char* format_bytes(Base base, FormatPath path, const unsigned char* bytes, std::size_t count,
                   char* text) {
  return format_through(formatters_of(path), base, bytes, count, text);
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
