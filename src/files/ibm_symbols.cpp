#include "files/ibm_symbols.h"

#include <array>
#include <cstdint>

namespace octets {
namespace {

// The code points of the symbols below 32, and of 127 and above. Bytes 32 to
// 126 are ASCII. The zero byte, blank in the code page, is a white bullet, so
// that it shows.
constexpr char16_t LOW[32] = {
    0x25E6, 0x263A, 0x263B, 0x2665, 0x2666, 0x2663, 0x2660, 0x2022,
    0x25D8, 0x25CB, 0x25D9, 0x2642, 0x2640, 0x266A, 0x266B, 0x263C,
    0x25BA, 0x25C4, 0x2195, 0x203C, 0x00B6, 0x00A7, 0x25AC, 0x21A8,
    0x2191, 0x2193, 0x2192, 0x2190, 0x221F, 0x2194, 0x25B2, 0x25BC,
};
constexpr char16_t HOUSE = 0x2302;
constexpr char16_t HIGH[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

struct Symbol {
  char text[3];
  std::uint8_t size;
};

Symbol encode(char16_t code) {
  auto byte = [](unsigned value) { return static_cast<char>(value); };
  if (code < 0x80) return {{byte(code)}, 1};
  if (code < 0x800) return {{byte(0xC0 | code >> 6), byte(0x80 | (code & 0x3F))}, 2};
  return {{byte(0xE0 | code >> 12), byte(0x80 | (code >> 6 & 0x3F)), byte(0x80 | (code & 0x3F))},
          3};
}

std::array<Symbol, 256> build_symbols() {
  std::array<Symbol, 256> symbols{};
  for (unsigned byte = 0; byte < 256; ++byte) {
    char16_t code = byte < 32 ? LOW[byte] : byte < 127 ? static_cast<char16_t>(byte)
                                          : byte == 127 ? HOUSE
                                                        : HIGH[byte - 128];
    symbols[byte] = encode(code);
  }
  return symbols;
}

/// The length of the UTF-8 sequence of a printable character that begins the
/// bytes, or 0: a C1 control (U+0080 to U+009F), which some terminals obey,
/// an overlong form, a surrogate or a cut sequence is not one.
std::size_t printable_sequence(std::string_view bytes) {
  auto at = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  unsigned char lead = at(0);
  std::size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                       : lead >= 0xE0 && lead <= 0xEF ? 3
                       : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                      : 0;
  if (length == 0 || bytes.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((at(i) & 0xC0) != 0x80) return 0;
  }
  unsigned char second = at(1);
  bool valid = (lead != 0xC2 || second >= 0xA0) && (lead != 0xE0 || second >= 0xA0) &&
               (lead != 0xED || second < 0xA0) && (lead != 0xF0 || second >= 0x90) &&
               (lead != 0xF4 || second < 0x90);
  return valid ? length : 0;
}

}  // namespace

std::string_view ibm_symbol(unsigned char byte) {
  static const std::array<Symbol, 256> symbols = build_symbols();
  const Symbol& symbol = symbols[byte];
  return {symbol.text, symbol.size};
}

std::string_view screen_symbol(unsigned char byte, Screen screen) {
  // Printable ASCII is itself, every other byte a dot.
  static const std::array<char, 256> ascii = [] {
    std::array<char, 256> symbols{};
    for (int value = 0; value < 256; ++value) {
      symbols[value] = value >= 32 && value < 127 ? static_cast<char>(value) : '.';
    }
    return symbols;
  }();
  if (screen == Screen::utf8_terminal || screen == Screen::console) return ibm_symbol(byte);
  return {&ascii[byte], 1};
}

std::string shown_name(std::string_view name, Screen screen) {
  if (screen == Screen::none || screen == Screen::console) return std::string(name);
  std::string shown;
  for (std::size_t i = 0; i < name.size();) {
    auto byte = static_cast<unsigned char>(name[i]);
    std::size_t sequence = screen == Screen::utf8_terminal ? printable_sequence(name.substr(i)) : 0;
    if (sequence > 0) {
      // A name in the terminal's own encoding reads as the user typed it.
      shown.append(name.substr(i, sequence));
      i += sequence;
      continue;
    }
    shown += screen_symbol(byte, screen);
    ++i;
  }
  return shown;
}

}  // namespace octets
