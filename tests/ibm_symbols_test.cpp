#include "files/ibm_symbols.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <string>

namespace octets {
namespace {

/// The C library's own conversion of one byte from code page 437 to UTF-8.
std::string converted_by_iconv(unsigned char byte) {
  iconv_t conversion = iconv_open("UTF-8", "CP437");
  EXPECT_NE(conversion, reinterpret_cast<iconv_t>(-1)) << "no CP437 conversion";
  char in[1] = {static_cast<char>(byte)};
  char out[8];
  char* in_at = in;
  char* out_at = out;
  std::size_t in_left = 1;
  std::size_t out_left = sizeof out;
  std::size_t result = iconv(conversion, &in_at, &in_left, &out_at, &out_left);
  iconv_close(conversion);
  EXPECT_NE(result, static_cast<std::size_t>(-1)) << int{byte};
  return std::string(out, out_at);
}

// Printable ASCII is itself in the code page as well.
TEST(IbmSymbols, PrintableAndUpperHalfMatchTheCodePage) {
  for (int byte = 32; byte < 256; ++byte) {
    if (byte == 0x7F) continue;
    auto value = static_cast<unsigned char>(byte);
    EXPECT_EQ(ibm_symbol(value), converted_by_iconv(value)) << byte;
  }
  EXPECT_EQ(ibm_symbol(0xFF), "\u00A0");
}

TEST(IbmSymbols, ControlBytesAreTheirSymbolsAndZeroShows) {
  // The code page's symbols for 0 (blank there) to 31, in order.
  const std::string symbols[] = {
      "\u25E6", "\u263A", "\u263B", "\u2665", "\u2666", "\u2663", "\u2660", "\u2022",
      "\u25D8", "\u25CB", "\u25D9", "\u2642", "\u2640", "\u266A", "\u266B", "\u263C",
      "\u25BA", "\u25C4", "\u2195", "\u203C", "\u00B6", "\u00A7", "\u25AC", "\u21A8",
      "\u2191", "\u2193", "\u2192", "\u2190", "\u221F", "\u2194", "\u25B2", "\u25BC"};
  for (int byte = 0; byte < 32; ++byte) {
    EXPECT_EQ(ibm_symbol(static_cast<unsigned char>(byte)), symbols[byte]) << byte;
  }
  EXPECT_EQ(ibm_symbol(0x7F), "\u2302");
}

// Other terminals' ASCII and dots, for every value: ByteRows' full-rows test.
TEST(IbmSymbols, ConsolesGetTheCodePageSymbols) {
  for (int byte = 0; byte < 256; ++byte) {
    auto value = static_cast<unsigned char>(byte);
    EXPECT_EQ(screen_symbol(value, Screen::console), ibm_symbol(value)) << byte;
  }
}

TEST(IbmSymbols, NamesActOnNoTerminal) {
  struct Case {
    std::string name;
    Screen screen;
    std::string shown;
  };
  const std::string sequences = "a\x1B]0;T\x07\x1B[?1049h\x1B[6n\rb";
  const Case cases[] = {
      // Unchanged where nothing obeys control sequences.
      {sequences, Screen::none, sequences},
      {sequences, Screen::console, sequences},
      {sequences, Screen::utf8_terminal,
       "a\u2190]0;T\u2022\u2190[?1049h\u2190[6n\u266Ab"},
      {sequences, Screen::other_terminal, "a.]0;T..[?1049h.[6n.b"},
      // Printable UTF-8 stays itself; a C1 control (CSI as U+009B), an
      // overlong form, a surrogate and a cut sequence are bytes like others.
      {"caf\xC3\xA9 \xE2\x82\xAC", Screen::utf8_terminal, "caf\u00E9 \u20AC"},
      {"\xC2\x9B" "2J", Screen::utf8_terminal, "\u252C\u00A2" "2J"},
      {"\xC0\xAF\xED\xA0\x80\xE2\x82", Screen::utf8_terminal,
       "\u2514\u00BB\u03C6\u00E1\u00C7\u0393\u00E9"},
      {"caf\xC3\xA9\x7F", Screen::other_terminal, "caf..."},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(shown_name(c.name, c.screen), c.shown) << c.name << " " << static_cast<int>(c.screen);
  }
}

}  // namespace
}  // namespace octets
