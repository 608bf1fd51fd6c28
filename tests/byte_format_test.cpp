#include "files/byte_format.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace octets {
namespace {

/// The text of the bytes by the given path, or by the fastest one.
std::string formatted(Base kind, const std::string& bytes,
                      std::optional<FormatPath> path = std::nullopt) {
  std::string text(bytes.size() * BYTE_TEXT_MAX + FORMAT_SLACK, '\0');
  auto input = reinterpret_cast<const unsigned char*>(bytes.data());
  char* end = path ? format_bytes(kind, *path, input, bytes.size(), text.data())
                   : format_bytes(kind, input, bytes.size(), text.data());
  text.resize(static_cast<std::size_t>(end - text.data()));
  return text;
}

// Independent of the tables: the C library's formatting and plain bit tests.
std::string expected_text(Base kind, unsigned value) {
  char text[16];
  if (kind == Base::decimal) std::snprintf(text, sizeof text, "%u ", value);
  if (kind == Base::hexadecimal) std::snprintf(text, sizeof text, "%02X ", value);
  if (kind == Base::binary) {
    std::string digits;
    for (unsigned bit = 128; bit != 0; bit /= 2) digits += (value & bit) ? '1' : '0';
    return digits + ' ';
  }
  return text;
}

TEST(ByteFormat, EveryByteValueInEveryBase) {
  std::string bytes;
  for (int value = 255; value >= 0; --value) bytes += static_cast<char>(value);
  for (Base kind : {Base::decimal, Base::hexadecimal, Base::binary}) {
    std::string expected;
    for (unsigned char byte : bytes) expected += expected_text(kind, byte);
    EXPECT_EQ(formatted(kind, bytes), expected) << static_cast<int>(kind);
  }
}

TEST(ByteFormat, ThreeBytesAsTheViewsShowThem) {
  const std::string bytes = "\x41\x0A\xFF";
  EXPECT_EQ(formatted(Base::decimal, bytes), "65 10 255 ");
  EXPECT_EQ(formatted(Base::hexadecimal, bytes), "41 0A FF ");
  EXPECT_EQ(formatted(Base::binary, bytes), "01000001 00001010 11111111 ");
  EXPECT_EQ(formatted(Base::decimal, std::string(1, '\0')), "0 ");
  EXPECT_EQ(formatted(Base::binary, ""), "");
}

const char* path_name(FormatPath path) {
  switch (path) {
    case FormatPath::portable:
      return "portable";
    case FormatPath::ssse3:
      return "ssse3";
    case FormatPath::avx2:
      return "avx2";
  }
  return "?";
}

// Every test below runs each path this processor supports, so a machine with
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
  for (Base kind : {Base::decimal, Base::hexadecimal, Base::binary}) {
    // Where each byte's expected text starts in the text of all the bytes.
    std::string all;
    std::vector<std::size_t> starts;
    for (unsigned char byte : bytes) {
      starts.push_back(all.size());
      all += expected_text(kind, byte);
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
          char* end = format_bytes(kind, path, input + align, length, start);
          ASSERT_EQ(std::string(start, end), all.substr(0, starts[length]))
              << path_name(path) << " " << static_cast<int>(kind) << " at " << align
              << " length " << length;
          const char* first_untouched = end + FORMAT_SLACK;
          ASSERT_EQ(std::string(output, start), std::string(out_align, '#'))
              << path_name(path) << " wrote before its text";
          ASSERT_EQ(std::string(first_untouched, first_untouched + 64), std::string(64, '#'))
              << path_name(path) << " wrote past its slack, length " << length;
        }
      }
    }
  }
}

TEST_F(FormatPaths, EveryByteValueInEveryBase) {
  std::string bytes;
  for (int copy = 0; copy < 3; ++copy) {
    for (int value = 0; value < 256; ++value) bytes += static_cast<char>(value);
  }
  for (FormatPath path : supported_format_paths()) {
    for (Base kind : {Base::decimal, Base::hexadecimal, Base::binary}) {
      std::string expected;
      for (unsigned char byte : bytes) expected += expected_text(kind, byte);
      EXPECT_EQ(formatted(kind, bytes, path), expected)
          << path_name(path) << " " << static_cast<int>(kind);
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

TEST(ViewRows, ANewWidthTakesEffectAtTheNextValue) {
  struct Case {
    std::size_t before;
    std::size_t after;
    std::string rows;
  };
  const Case cases[] = {
      // Narrowed below the row already written: the next value begins a row.
      {12, 6, "1 22 333 \n4 5 \n666 "},
      {12, 9, "1 22 333 \n4 5 666 "},
      // Widened: the row goes on.
      {9, 14, "1 22 333 4 5 \n666 "},
  };
  for (const Case& c : cases) {
    ViewRows rows(c.before);
    std::string text;
    rows.append("1 22 333 ", text);
    rows.set_width(c.after);
    rows.append("4 5 666 ", text);
    EXPECT_EQ(text, c.rows) << c.before << " to " << c.after;
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
