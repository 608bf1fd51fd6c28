#include "files/byte_format.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "files/file_viewer.h"

namespace octets {
namespace {

/// The text of the bytes by the given path, or by the fastest one.
std::string formatted(const ByteFormat& format, const std::string& bytes,
                      std::optional<FormatPath> path = std::nullopt) {
  std::string text(bytes.size() * BYTE_TEXT_MAX + FORMAT_SLACK, '\0');
  auto input = reinterpret_cast<const unsigned char*>(bytes.data());
  char* end = path ? format_bytes(format, *path, input, bytes.size(), text.data())
                   : format_bytes(format, input, bytes.size(), text.data());
  text.resize(static_cast<std::size_t>(end - text.data()));
  return text;
}

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

std::string expected_text(const ViewKind& view, const std::string& bytes) {
  std::string text;
  for (unsigned char byte : bytes) text += expected_text(view, byte);
  return text;
}

TEST(ByteFormat, EveryByteValueInEveryBase) {
  std::string bytes;
  for (int value = 255; value >= 0; --value) bytes += static_cast<char>(value);
  for (const ViewKind* view : byte_views()) {
    EXPECT_EQ(formatted(*view->format, bytes), expected_text(*view, bytes)) << view->choice;
  }
}

/// The paths' names, by their order in FormatPath.
const char* const PATH_NAMES[] = {"portable", "ssse3", "avx2"};

// The test below runs each path this processor supports, so a machine with
// the widest vectors still checks the narrower ones and the table code.
class FormatPaths : public ::testing::Test {};

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

TEST_F(FormatPaths, EveryLengthAndAlignmentGivesTheSameText) {
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

TEST(ViewRows, RowsHoldAsManyWholeValuesAsFit) {
  struct Case {
    std::size_t width;
    std::string values;
    std::string rows;
  };
  const std::string hex34 = [] {
    std::string text;
    for (int i = 0; i < 34; ++i) text += "AB ";
    return text;
  }();
  const Case cases[] = {
      // 33 values of 3 columns fill 99 of 100; the 34th begins a row.
      {100, hex34, hex34.substr(0, 99) + "\nAB "},
      // A value with its space that ends exactly at the margin stays.
      {9, "1 22 333 4 ", "1 22 333 \n4 "},
      {8, "1 22 333 4 ", "1 22 \n333 4 "},
      // Wider than a row: alone on its row, with no empty row before or after.
      {5, "01000001 00001010 1 ", "01000001 \n00001010 \n1 "},
      {4, "", ""},
  };
  for (const Case& c : cases) {
    ViewRows rows(c.width);
    std::string text;
    rows.append(c.values, text);
    EXPECT_EQ(text, c.rows) << c.width << " '" << c.values << "'";
  }
}

/// The text less its colour changes.
std::string without_colours(const std::string& text) {
  std::string plain;
  for (std::size_t at = 0; at < text.size(); ++at) {
    if (text[at] == '\x1b') {
      at = std::min(text.find('m', at), text.size());
    } else {
      plain += text[at];
    }
  }
  return plain;
}

/// The text of one chunk of bytes given to `values`.
std::string coloured(ColouredValues& values, const std::string& chunk) {
  std::string text(chunk.size() * COLOURED_TEXT_MAX + FORMAT_SLACK, '\0');
  char* end = values.format(reinterpret_cast<const unsigned char*>(chunk.data()), chunk.size(),
                            text.data());
  text.resize(static_cast<std::size_t>(end - text.data()));
  return text;
}

TEST(ViewRows, ANewWidthTakesEffectAtTheNextValue) {
  struct Case {
    std::size_t before;
    std::size_t after;
    std::string rows;
  };
  const Case cases[] = {
      // Narrowed below the row already written: the next value begins a row.
      {12, 6, "1 22 200 \n4 5 \n166 "},
      {12, 9, "1 22 200 \n4 5 166 "},
      // Widened: the row goes on.
      {9, 14, "1 22 200 4 5 \n166 "},
  };
  const std::string first = "\x01\x16\xC8", then = "\x04\x05\xA6";
  for (const Case& c : cases) {
    ViewRows rows(c.before);
    std::string text;
    rows.append("1 22 200 ", text);
    rows.set_width(c.after);
    rows.append("4 5 166 ", text);
    EXPECT_EQ(text, c.rows) << c.before << " to " << c.after;
    // The same rows in colour, once the colour changes are taken out.
    ColouredValues values(DECIMAL_FORMAT, c.before);
    std::string shown;
    for (const std::string* bytes : {&first, &then}) {
      if (bytes == &then) values.set_width(c.after);
      shown += without_colours(coloured(values, *bytes));
    }
    EXPECT_EQ(shown, c.rows) << "in colour, " << c.before << " to " << c.after;
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

TEST(ColouredValues, OneColourChangeARunAndRowsOfWholeValues) {
  const std::string Z = in(ByteKind::zero), P = in(ByteKind::printable),
                    W = in(ByteKind::white_space), C = in(ByteKind::control),
                    H = in(ByteKind::high);
  struct Case {
    const ByteFormat& format;
    std::size_t width;
    std::vector<std::string> chunks;
    std::string shown;
  };
  const Case cases[] = {
      {HEXADECIMAL_FORMAT, 0, {std::string("\0\0AB \n\x01\x7F\xC3\xA9", 10)},
       Z + "00 00 " + P + "41 42 " + W + "20 0A " + C + "01 7F " + H + "C3 A9 "},
      // A run goes on into the next chunk without a change.
      {HEXADECIMAL_FORMAT, 0, {"AB", "CD\r", "\t"}, P + "41 42 43 44 " + W + "0D 09 "},
      // The changes take no room: 9 columns hold three values.
      {HEXADECIMAL_FORMAT, 9, {std::string("\0A \x01", 4)},
       Z + "00 " + P + "41 " + W + "20 \n" + C + "01 "},
      {DECIMAL_FORMAT, 10, {std::string("\0A\n\xFF\x7F", 5)},
       Z + "0 " + P + "65 " + W + "10 \n" + H + "255 " + C + "127 "},
      // Wider than a row: each value alone on its row, no empty row.
      {BINARY_FORMAT, 5, {"ab"}, P + "01100001 \n01100010 "},
      {BINARY_FORMAT, 5, {"", ""}, ""},
  };
  for (const Case& c : cases) {
    ColouredValues values(c.format, c.width);
    std::string shown;
    for (const std::string& chunk : c.chunks) shown += coloured(values, chunk);
    values.finish(shown);
    EXPECT_EQ(shown, c.shown + (c.shown.empty() ? "" : USUAL_COLOUR)) << c.width;
  }
}

TEST(ColouredValues, WithoutColoursAndLineEndsTheValuesAreThoseOfTheView) {
  const std::string bytes = test_bytes();
  for (const ViewKind* view : byte_views()) {
    ColouredValues values(*view->format, 37);
    std::istringstream rows(without_colours(coloured(values, bytes)));
    std::string plain;
    for (std::string row; std::getline(rows, row);) {
      ASSERT_LE(row.size(), 37u) << view->choice << ": a row wider than the screen";
      plain += row;
    }
    EXPECT_EQ(plain, expected_text(*view, bytes)) << view->choice;
  }
}

TEST(ByteFormat, ByteToBinaryPutsTheHighBitFirst) {
  char digits[9];
  byte_to_binary(0x80, digits);
  EXPECT_STREQ(digits, "10000000");
  byte_to_binary(0x01, digits);
  EXPECT_STREQ(digits, "00000001");
  byte_to_binary(0xA5, digits);
  EXPECT_STREQ(digits, "10100101");
}

}  // namespace
}  // namespace octets
