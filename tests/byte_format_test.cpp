#include "files/byte_format.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace octets {
namespace {

std::string formatted(ViewKind kind, const std::string& bytes) {
  std::string text(bytes.size() * BYTE_TEXT_MAX + FORMAT_SLACK, '\0');
  char* end = format_bytes(kind, reinterpret_cast<const unsigned char*>(bytes.data()),
                           bytes.size(), text.data());
  text.resize(static_cast<std::size_t>(end - text.data()));
  return text;
}

// Independent of the tables: the C library's formatting and plain bit tests.
std::string expected_text(ViewKind kind, unsigned value) {
  char text[16];
  if (kind == ViewKind::decimal) std::snprintf(text, sizeof text, "%u ", value);
  if (kind == ViewKind::hexadecimal) std::snprintf(text, sizeof text, "%02X ", value);
  if (kind == ViewKind::binary) {
    std::string digits;
    for (unsigned bit = 128; bit != 0; bit /= 2) digits += (value & bit) ? '1' : '0';
    return digits + ' ';
  }
  return text;
}

TEST(ByteFormat, EveryByteValueInEveryBase) {
  std::string bytes;
  for (int value = 255; value >= 0; --value) bytes += static_cast<char>(value);
  for (ViewKind kind : {ViewKind::decimal, ViewKind::hexadecimal, ViewKind::binary}) {
    std::string expected;
    for (unsigned char byte : bytes) expected += expected_text(kind, byte);
    EXPECT_EQ(formatted(kind, bytes), expected) << static_cast<char>(kind);
  }
}

TEST(ByteFormat, ThreeBytesAsTheViewsShowThem) {
  const std::string bytes = "\x41\x0A\xFF";
  EXPECT_EQ(formatted(ViewKind::decimal, bytes), "65 10 255 ");
  EXPECT_EQ(formatted(ViewKind::hexadecimal, bytes), "41 0A FF ");
  EXPECT_EQ(formatted(ViewKind::binary, bytes), "01000001 00001010 11111111 ");
  EXPECT_EQ(formatted(ViewKind::decimal, std::string(1, '\0')), "0 ");
  EXPECT_EQ(formatted(ViewKind::binary, ""), "");
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
