#include "files/byte_format.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "files/file_viewer.h"

namespace octets {
namespace {

/// The byte views: the rows of the views that have a format.
std::vector<const ViewKind*> byte_views() {
  std::vector<const ViewKind*> views;
  for (const ViewKind& view : VIEWS) {
    if (view.format != nullptr) views.push_back(&view);
  }
  return views;
}

// Independent of the tables: the C library's formatting and plain bit tests,
// by the view's menu choice. A view without a row here fails every test.
std::string expected_text(const ViewKind& view, unsigned value) {
  char text[16];
  switch (view.choice) {
    case '4':
      std::snprintf(text, sizeof text, "%u ", value);
      return text;
    case '5':
      std::snprintf(text, sizeof text, "%02X ", value);
      return text;
    case '6': {
      std::string digits;
      for (unsigned bit = 128; bit != 0; bit /= 2) digits += (value & bit) ? '1' : '0';
      return digits + ' ';
    }
  }
  ADD_FAILURE() << "no expected text for the view of choice " << view.choice;
  return {};
}

/// The paths' names, by their order in FormatPath.
const char* const PATH_NAMES[] = {"portable", "ssse3", "avx2"};

// Bytes that give the decimal formatter every mix of one, two and three digits
// in four neighbouring bytes, with the values at each class's edges; then all
// 256 values, in rising and in falling order.
std::string test_bytes() {
  const unsigned char by_digits[3][3] = {{0, 9, 5}, {10, 99, 42}, {100, 255, 199}};
  std::string bytes;
  for (int mix = 0; mix < 81; ++mix) {
    for (int i = 0, rest = mix; i < 4; ++i, rest /= 3) {
      bytes += static_cast<char>(by_digits[rest % 3][(mix + i) % 3]);
    }
  }
  for (int value = 0; value < 256; ++value) bytes += static_cast<char>(value * 167 % 256);
  for (int value = 255; value >= 0; --value) bytes += static_cast<char>(value);
  return bytes;
}

// The test below runs each path this processor supports, so a machine with
// the widest vectors still checks the narrower ones and the table code.
TEST(FormatPaths, EveryLengthAndAlignmentGivesTheSameText) {
  const std::string bytes = test_bytes();
  const std::size_t MAX_LENGTH = 300;
  const std::size_t ALIGNMENTS = 64;
  // A 64-byte aligned copy, so that an offset from it is that alignment.
  alignas(64) static unsigned char input[2048];
  ASSERT_LE(bytes.size() + ALIGNMENTS, sizeof input);
  for (const ViewKind* view : byte_views()) {
    // Where each byte's expected text starts in the text of all the bytes.
    std::string all;
    std::vector<std::size_t> starts;
    for (unsigned char byte : bytes) {
      starts.push_back(all.size());
      all += expected_text(*view, byte);
    }
    starts.push_back(all.size());
    for (FormatPath path : supported_format_paths()) {
      alignas(64) static char output[2048 * BYTE_TEXT_MAX + 256];
      for (std::size_t align = 0; align < ALIGNMENTS; ++align) {
        std::memcpy(input + align, bytes.data(), bytes.size());
        for (std::size_t length = 0; length <= bytes.size(); ++length) {
          if (length > MAX_LENGTH && length != bytes.size()) continue;
          std::size_t out_align = (length + 3 * align) % 64;
          std::memset(output, '#', sizeof output);
          char* start = output + out_align;
          char* end = format_bytes(*view->format, path, input + align, length, start);
          ASSERT_EQ(std::string(start, end), all.substr(0, starts[length]))
              << PATH_NAMES[static_cast<int>(path)] << " " << view->choice << " at " << align
              << " length " << length;
          const char* first_untouched = end + FORMAT_SLACK;
          ASSERT_EQ(std::string(output, start), std::string(out_align, '#'))
              << PATH_NAMES[static_cast<int>(path)] << " wrote before its text";
          ASSERT_EQ(std::string(first_untouched, first_untouched + 64), std::string(64, '#'))
              << PATH_NAMES[static_cast<int>(path)] << " wrote past its slack, length " << length;
        }
      }
    }
  }
}

TEST(ByteKinds, EveryByteValueHasTheKindOfItsRange) {
  struct Range {
    int first;
    int last;
    ByteKind kind;
  };
  const Range ranges[] = {
      {0, 0, ByteKind::zero},          {1, 8, ByteKind::control},
      {9, 13, ByteKind::white_space},  {14, 31, ByteKind::control},
      {32, 32, ByteKind::white_space}, {33, 126, ByteKind::printable},
      {127, 127, ByteKind::control},   {128, 255, ByteKind::high},
  };
  int next = 0;
  for (const Range& range : ranges) {
    ASSERT_EQ(range.first, next) << "the ranges must cover every value once";
    for (int value = range.first; value <= range.last; ++value) {
      EXPECT_EQ(byte_kind(static_cast<unsigned char>(value)), range.kind) << value;
    }
    next = range.last + 1;
  }
  EXPECT_EQ(next, 256);
  // Five kinds, five colours, none of them the terminal's own.
  std::set<std::string> colours{USUAL_COLOUR};
  for (const KindColour& kind : KIND_COLOURS) colours.insert(kind.colour);
  EXPECT_EQ(colours.size(), 6u);
}

/// The colour of a kind, for expected texts.
std::string in(ByteKind kind) { return KIND_COLOURS[static_cast<int>(kind)].colour; }

/// The rows of the chunks given one after the other, at `widths[i]` for chunk i.
std::string rows_of(ByteRows& rows, const std::vector<std::string>& chunks,
                    const std::vector<int>& widths) {
  std::string text;
  for (std::size_t i = 0; i < chunks.size(); ++i) {
    rows.set_width(widths[i]);
    text += rows.rows(reinterpret_cast<const unsigned char*>(chunks[i].data()), chunks[i].size());
  }
  return text;
}

TEST(ByteRows, EachRowHasItsPositionItsValuesAndTheirSymbols) {
  const std::string Z = in(ByteKind::zero), P = in(ByteKind::printable),
                    W = in(ByteKind::white_space), C = in(ByteKind::control),
                    H = in(ByteKind::high), U = USUAL_COLOUR;
  const std::string bytes("A\0\t\n\r\x7F\xE9", 7);
  struct Case {
    const ByteFormat& format;
    Screen screen;
    bool coloured;
    int width;
    std::string rows;
  };
  const Case cases[] = {
      // 19 columns, one less than the window, hold four values.
      {HEXADECIMAL_FORMAT, Screen::utf8_terminal, false, 20,
       "0 41 00 09 0A  A\u25E6\u25CB\u25D9\n4 0D 7F E9     \u266A\u2302\u0398"},
      {HEXADECIMAL_FORMAT, Screen::utf8_terminal, false, 19,
       "0 41 00  A\u25E6\n2 09 0A  \u25CB\u25D9\n4 0D 7F  \u266A\u2302\n6 E9     \u0398"},
      // Right-aligned decimal values; 43 columns hold eight.
      {DECIMAL_FORMAT, Screen::other_terminal, false, 44,
       "0  65   0   9  10  13 127 233      A......"},
      {BINARY_FORMAT, Screen::console, false, 5,
       "0 01000001  A\n1 00000000  \u25E6\n2 00001001  \u25CB\n3 00001010  \u25D9\n"
       "4 00001101  \u266A\n5 01111111  \u2302\n6 11101001  \u0398"},
      // No width known: 80 columns, 16 values.
      {HEXADECIMAL_FORMAT, Screen::other_terminal, false, 0,
       "0 41 00 09 0A 0D 7F E9" + std::string(9 * 3 + 2, ' ') + "A......"},
      // A colour change before each run, in the values and in the symbols.
      {HEXADECIMAL_FORMAT, Screen::utf8_terminal, true, 20,
       "0 " + P + "41 " + Z + "00 " + W + "09 0A  " + P + "A" + Z + "\u25E6" + W +
           "\u25CB\u25D9" + U + "\n4 " + W + "0D " + C + "7F " + H + "E9     " + W + "\u266A" +
           C + "\u2302" + H + "\u0398" + U},
  };
  for (const Case& c : cases) {
    ByteRows rows(c.format, c.screen, c.coloured, static_cast<std::int64_t>(bytes.size()));
    EXPECT_EQ(rows_of(rows, {bytes}, {c.width}), c.rows) << c.width;
  }
  // A blank symbol (space, no-break space) keeps the colour already set.
  ByteRows rows(HEXADECIMAL_FORMAT, Screen::utf8_terminal, true, 4);
  EXPECT_EQ(rows_of(rows, {"a b\xFF"}, {20}),
            "0 " + P + "61 " + W + "20 " + P + "62 " + H + "FF  " + P + "a b\u00A0" + U);
}

TEST(ByteRows, ANewWidthTakesEffectAtTheNextChunk) {
  // The positions are as wide as the last one, 1000, and go on across the
  // chunks; the rows follow the width of each chunk.
  ByteRows rows(HEXADECIMAL_FORMAT, Screen::utf8_terminal, false, 1001);
  EXPECT_EQ(rows_of(rows, {"abcd", "efgh", "ij"}, {24, 16, 24}),
            "   0 61 62 63 64  abcd\n   4 65 66  ef\n   6 67 68  gh\n   8 69 6A        ij");
}

TEST(ByteRows, FullRowsHoldTheMostValuesThatLeaveTheLastColumnEmpty) {
  const std::string bytes = test_bytes();
  for (const ViewKind* view : byte_views()) {
    const std::size_t value_width = expected_text(*view, 255).size();
    std::string aligned, dots;
    for (unsigned char byte : bytes) {
      std::string value = expected_text(*view, byte);
      aligned += std::string(value_width - value.size(), ' ') + value;
      dots += byte >= 32 && byte < 127 ? static_cast<char>(byte) : '.';
    }
    for (std::size_t width = 1; width <= 300; ++width) {
      ByteRows rows(*view->format, Screen::other_terminal, false,
                    static_cast<std::int64_t>(bytes.size()));
      std::istringstream text(rows_of(rows, {bytes}, {static_cast<int>(width)}));
      std::string values, symbols;
      std::size_t count = 0, position = 0;
      // Each row: its position, a space, the values, a space, the symbols.
      for (std::string row; std::getline(text, row);) {
        const std::size_t at = row.find(' ', row.find_first_not_of(' '));
        ASSERT_EQ(std::stoul(row.substr(0, at)), position) << view->choice << " at " << width;
        if (count == 0) {
          count = (row.size() - at - 2) / (value_width + 1);
          EXPECT_TRUE((count & (count - 1)) == 0 && (row.size() < width || count == 1) &&
                      row.size() + count * (value_width + 1) >= width)
              << view->choice << " at " << width << ": " << count << " values, '" << row << "'";
        }
        const std::size_t in_row = std::min(count, bytes.size() - position);
        values += row.substr(at + 1, in_row * value_width);
        symbols += row.substr(at + 2 + count * value_width);
        position += in_row;
      }
      ASSERT_EQ(values, aligned) << view->choice << " at " << width;
      ASSERT_EQ(symbols, dots) << view->choice << " at " << width;
    }
  }
}

}  // namespace
}  // namespace octets
