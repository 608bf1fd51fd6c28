#include "files/byte_format_x86.h"

#if defined(OCTETS_X86_VECTORS)

#include <immintrin.h>

#include <algorithm>

namespace octets {
namespace {

// A byte shuffle (pshufb) writes a zero where its index has the high bit set.
constexpr unsigned char NOTHING = 0x80;

// Hexadecimal: 16 bytes give 48 characters, three vectors of 16. Each character
// is the high digit, the low digit or the space of one of the 16 bytes, so each
// vector is two shuffles of the digit vectors and the spaces.
struct HexTables {
  unsigned char high[3][16];
  unsigned char low[3][16];
  unsigned char space[3][16];
};

constexpr HexTables make_hex_tables() {
  HexTables tables{};
  for (int at = 0; at < 48; ++at) {
    int vector = at / 16;
    int lane = at % 16;
    auto byte = static_cast<unsigned char>(at / 3);
    tables.high[vector][lane] = at % 3 == 0 ? byte : NOTHING;
    tables.low[vector][lane] = at % 3 == 1 ? byte : NOTHING;
    tables.space[vector][lane] = at % 3 == 2 ? ' ' : 0;
  }
  return tables;
}

constexpr HexTables HEX = make_hex_tables();
constexpr char HEX_DIGITS[17] = "0123456789ABCDEF";

// Binary: WIDTH bytes (16 or 32) give nine vectors of WIDTH characters. Vector
// k shuffles the 16 bytes that start at `from[k]` (the same 16 in both halves
// of a 32-byte vector, since AVX2 shuffles stay within each half) so that each
// character holds its byte; masking the character's bit then yields "0" or "1".
// A space position picks nothing and masks nothing, and `base` turns it into
// ' ' the way it turns a clear bit into '0'.
template <int WIDTH>
struct BinaryTables {
  int from[9];
  unsigned char pick[9][WIDTH];
  unsigned char bit[9][WIDTH];
  unsigned char base[9][WIDTH];
};

template <int WIDTH>
constexpr BinaryTables<WIDTH> make_binary_tables() {
  BinaryTables<WIDTH> tables{};
  for (int vector = 0; vector < 9; ++vector) {
    int from = WIDTH == 16 ? 0 : std::min(WIDTH * vector / 9, WIDTH - 16);
    tables.from[vector] = from;
    for (int lane = 0; lane < WIDTH; ++lane) {
      int at = WIDTH * vector + lane;
      int byte = at / 9 - from;
      if (at % 9 == 8) {
        tables.pick[vector][lane] = NOTHING;
        tables.bit[vector][lane] = 0;
        tables.base[vector][lane] = ' ' + 1;
      } else {
        // Fails the constant evaluation if a byte lies out of the shuffle's reach.
        if (byte < 0 || byte > 15) throw "byte out of reach";
        tables.pick[vector][lane] = static_cast<unsigned char>(byte);
        tables.bit[vector][lane] = static_cast<unsigned char>(0x80 >> (at % 9));
        tables.base[vector][lane] = '1';
      }
    }
  }
  return tables;
}

constexpr BinaryTables<16> BINARY_16 = make_binary_tables<16>();
constexpr BinaryTables<32> BINARY_32 = make_binary_tables<32>();

// Decimal: each byte first becomes four characters (hundreds, tens, ones and a
// space), four bytes to a 16-character vector; one shuffle then drops the
// leading zeros. The shuffle depends on which of the four bytes reach 10 (bits
// 0 to 3 of the key) and which reach 100 (bits 4 to 7).
struct DecimalTables {
  unsigned char pick[256][16];
  unsigned char length[256];
};

constexpr DecimalTables make_decimal_tables() {
  DecimalTables tables{};
  for (int key = 0; key < 256; ++key) {
    int n = 0;
    for (int byte = 0; byte < 4; ++byte) {
      int digits = 1 + (key >> byte & 1) + (key >> (4 + byte) & 1);
      for (int at = 4 * byte + 3 - digits; at <= 4 * byte + 3; ++at) {
        tables.pick[key][n++] = static_cast<unsigned char>(at);
      }
    }
    tables.length[key] = static_cast<unsigned char>(n);
    while (n < 16) tables.pick[key][n++] = NOTHING;
  }
  return tables;
}

constexpr DecimalTables DECIMAL = make_decimal_tables();

#define OCTETS_SSSE3 __attribute__((target("ssse3")))
#define OCTETS_AVX2 __attribute__((target("avx2")))

OCTETS_SSSE3 inline __m128i load16(const void* from) {
  return _mm_loadu_si128(static_cast<const __m128i*>(from));
}

OCTETS_SSSE3 inline void store16(char* to, __m128i value) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(to), value);
}

}  // namespace

bool processor_has_ssse3() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("ssse3");
}

OCTETS_SSSE3 std::size_t format_hexadecimal_ssse3(const unsigned char* bytes, std::size_t count,
                                                  char*& text) {
  const __m128i digits = load16(HEX_DIGITS);
  const __m128i nibble = _mm_set1_epi8(0x0F);
  std::size_t done = 0;
  char* out = text;
  for (; count - done >= 16; done += 16, out += 48) {
    __m128i value = load16(bytes + done);
    __m128i high = _mm_shuffle_epi8(digits, _mm_and_si128(_mm_srli_epi16(value, 4), nibble));
    __m128i low = _mm_shuffle_epi8(digits, _mm_and_si128(value, nibble));
    for (int k = 0; k < 3; ++k) {
      __m128i chars = _mm_or_si128(_mm_shuffle_epi8(high, load16(HEX.high[k])),
                                   _mm_shuffle_epi8(low, load16(HEX.low[k])));
      store16(out + 16 * k, _mm_or_si128(chars, load16(HEX.space[k])));
    }
  }
  text = out;
  return done;
}

OCTETS_SSSE3 std::size_t format_binary_ssse3(const unsigned char* bytes, std::size_t count,
                                             char*& text) {
  const __m128i zero = _mm_setzero_si128();
  std::size_t done = 0;
  char* out = text;
  for (; count - done >= 16; done += 16, out += 144) {
    __m128i value = load16(bytes + done);
    for (int k = 0; k < 9; ++k) {
      __m128i picked = _mm_shuffle_epi8(value, load16(BINARY_16.pick[k]));
      __m128i clear = _mm_cmpeq_epi8(_mm_and_si128(picked, load16(BINARY_16.bit[k])), zero);
      store16(out + 16 * k, _mm_add_epi8(load16(BINARY_16.base[k]), clear));
    }
  }
  text = out;
  return done;
}

OCTETS_SSSE3 std::size_t format_decimal_ssse3(const unsigned char* bytes, std::size_t count,
                                              char*& text) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i ten = _mm_set1_epi16(10);
  // value * 6554 >> 16 is value / 10, and value * 656 >> 16 is value / 100, for
  // every byte value.
  const __m128i tenth = _mm_set1_epi16(6554);
  const __m128i hundredth = _mm_set1_epi16(656);
  const __m128i zeros = _mm_set1_epi8('0');
  const __m128i spaces = _mm_set1_epi8(' ');
  const __m128i ten8 = _mm_set1_epi8(10);
  const __m128i hundred8 = _mm_set1_epi8(100);
  std::size_t done = 0;
  char* out = text;
  for (; count - done >= 16; done += 16) {
    __m128i value = load16(bytes + done);
    __m128i wide[2] = {_mm_unpacklo_epi8(value, zero), _mm_unpackhi_epi8(value, zero)};
    __m128i hundreds[2], tens[2], ones[2];
    for (int half = 0; half < 2; ++half) {
      __m128i by_ten = _mm_mulhi_epu16(wide[half], tenth);
      hundreds[half] = _mm_mulhi_epu16(wide[half], hundredth);
      ones[half] = _mm_sub_epi16(wide[half], _mm_mullo_epi16(by_ten, ten));
      tens[half] = _mm_sub_epi16(by_ten, _mm_mullo_epi16(hundreds[half], ten));
    }
    __m128i h = _mm_add_epi8(_mm_packus_epi16(hundreds[0], hundreds[1]), zeros);
    __m128i t = _mm_add_epi8(_mm_packus_epi16(tens[0], tens[1]), zeros);
    __m128i o = _mm_add_epi8(_mm_packus_epi16(ones[0], ones[1]), zeros);
    __m128i ht[2] = {_mm_unpacklo_epi8(h, t), _mm_unpackhi_epi8(h, t)};
    __m128i os[2] = {_mm_unpacklo_epi8(o, spaces), _mm_unpackhi_epi8(o, spaces)};
    __m128i groups[4] = {_mm_unpacklo_epi16(ht[0], os[0]), _mm_unpackhi_epi16(ht[0], os[0]),
                         _mm_unpacklo_epi16(ht[1], os[1]), _mm_unpackhi_epi16(ht[1], os[1])};
    __m128i reach10 = _mm_cmpeq_epi8(_mm_max_epu8(value, ten8), value);
    __m128i reach100 = _mm_cmpeq_epi8(_mm_max_epu8(value, hundred8), value);
    // One key a byte: four bytes' "reaches 10" bits, then their "reaches 100" bits.
    unsigned keys =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_unpacklo_epi32(reach10, reach100))) |
        static_cast<unsigned>(_mm_movemask_epi8(_mm_unpackhi_epi32(reach10, reach100))) << 16;
    for (int g = 0; g < 4; ++g) {
      unsigned key = keys >> (8 * g) & 0xFF;
      store16(out, _mm_shuffle_epi8(groups[g], load16(DECIMAL.pick[key])));
      out += DECIMAL.length[key];
    }
  }
  text = out;
  return done;
}

#if defined(OCTETS_X86_AVX2)

namespace {

OCTETS_AVX2 inline __m256i load32(const void* from) {
  return _mm256_loadu_si256(static_cast<const __m256i*>(from));
}

OCTETS_AVX2 inline __m256i load16_twice(const void* from) {
  return _mm256_broadcastsi128_si256(_mm_loadu_si128(static_cast<const __m128i*>(from)));
}

OCTETS_AVX2 inline void store32(char* to, __m256i value) {
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(to), value);
}

}  // namespace

bool processor_has_avx2() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
}

OCTETS_AVX2 std::size_t format_hexadecimal_avx2(const unsigned char* bytes, std::size_t count,
                                                char*& text) {
  const __m256i digits = load16_twice(HEX_DIGITS);
  const __m256i nibble = _mm256_set1_epi8(0x0F);
  std::size_t done = 0;
  char* out = text;
  for (; count - done >= 32; done += 32, out += 96) {
    __m256i value = load32(bytes + done);
    __m256i high =
        _mm256_shuffle_epi8(digits, _mm256_and_si256(_mm256_srli_epi16(value, 4), nibble));
    __m256i low = _mm256_shuffle_epi8(digits, _mm256_and_si256(value, nibble));
    // Each half formats its own 16 bytes: part k holds characters 16k to 16k + 15
    // of the first 16 bytes, then of the second 16.
    __m256i part[3];
    for (int k = 0; k < 3; ++k) {
      __m256i chars = _mm256_or_si256(_mm256_shuffle_epi8(high, load16_twice(HEX.high[k])),
                                      _mm256_shuffle_epi8(low, load16_twice(HEX.low[k])));
      part[k] = _mm256_or_si256(chars, load16_twice(HEX.space[k]));
    }
    store32(out, _mm256_permute2x128_si256(part[0], part[1], 0x20));
    store32(out + 32, _mm256_permute2x128_si256(part[2], part[0], 0x30));
    store32(out + 64, _mm256_permute2x128_si256(part[1], part[2], 0x31));
  }
  text = out;
  return done;
}

OCTETS_AVX2 std::size_t format_binary_avx2(const unsigned char* bytes, std::size_t count,
                                           char*& text) {
  const __m256i zero = _mm256_setzero_si256();
  std::size_t done = 0;
  char* out = text;
  for (; count - done >= 32; done += 32, out += 288) {
    for (int k = 0; k < 9; ++k) {
      __m256i value = load16_twice(bytes + done + BINARY_32.from[k]);
      __m256i picked = _mm256_shuffle_epi8(value, load32(BINARY_32.pick[k]));
      __m256i clear =
          _mm256_cmpeq_epi8(_mm256_and_si256(picked, load32(BINARY_32.bit[k])), zero);
      store32(out + 32 * k, _mm256_add_epi8(load32(BINARY_32.base[k]), clear));
    }
  }
  text = out;
  return done;
}

OCTETS_AVX2 std::size_t format_decimal_avx2(const unsigned char* bytes, std::size_t count,
                                            char*& text) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i ten = _mm256_set1_epi16(10);
  const __m256i tenth = _mm256_set1_epi16(6554);
  const __m256i hundredth = _mm256_set1_epi16(656);
  const __m256i zeros = _mm256_set1_epi8('0');
  const __m256i spaces = _mm256_set1_epi8(' ');
  const __m256i ten8 = _mm256_set1_epi8(10);
  const __m256i hundred8 = _mm256_set1_epi8(100);
  std::size_t done = 0;
  char* out = text;
  for (; count - done >= 32; done += 32) {
    __m256i value = load32(bytes + done);
    // Unpacking and packing both work within each 16-byte half, so the bytes
    // come back in their order.
    __m256i wide[2] = {_mm256_unpacklo_epi8(value, zero), _mm256_unpackhi_epi8(value, zero)};
    __m256i hundreds[2], tens[2], ones[2];
    for (int half = 0; half < 2; ++half) {
      __m256i by_ten = _mm256_mulhi_epu16(wide[half], tenth);
      hundreds[half] = _mm256_mulhi_epu16(wide[half], hundredth);
      ones[half] = _mm256_sub_epi16(wide[half], _mm256_mullo_epi16(by_ten, ten));
      tens[half] = _mm256_sub_epi16(by_ten, _mm256_mullo_epi16(hundreds[half], ten));
    }
    __m256i h = _mm256_add_epi8(_mm256_packus_epi16(hundreds[0], hundreds[1]), zeros);
    __m256i t = _mm256_add_epi8(_mm256_packus_epi16(tens[0], tens[1]), zeros);
    __m256i o = _mm256_add_epi8(_mm256_packus_epi16(ones[0], ones[1]), zeros);
    __m256i ht[2] = {_mm256_unpacklo_epi8(h, t), _mm256_unpackhi_epi8(h, t)};
    __m256i os[2] = {_mm256_unpacklo_epi8(o, spaces), _mm256_unpackhi_epi8(o, spaces)};
    // groups[g] holds bytes 4g to 4g + 3 of each 16-byte half.
    __m256i groups[4] = {
        _mm256_unpacklo_epi16(ht[0], os[0]), _mm256_unpackhi_epi16(ht[0], os[0]),
        _mm256_unpacklo_epi16(ht[1], os[1]), _mm256_unpackhi_epi16(ht[1], os[1])};
    __m256i reach10 = _mm256_cmpeq_epi8(_mm256_max_epu8(value, ten8), value);
    __m256i reach100 = _mm256_cmpeq_epi8(_mm256_max_epu8(value, hundred8), value);
    // Key bytes, in order: groups 0 and 1 of the first half, then of the second
    // half; likewise groups 2 and 3.
    unsigned keys01 =
        static_cast<unsigned>(_mm256_movemask_epi8(_mm256_unpacklo_epi32(reach10, reach100)));
    unsigned keys23 =
        static_cast<unsigned>(_mm256_movemask_epi8(_mm256_unpackhi_epi32(reach10, reach100)));
    unsigned first[4] = {keys01 & 0xFF, keys01 >> 8 & 0xFF, keys23 & 0xFF, keys23 >> 8 & 0xFF};
    unsigned second[4] = {keys01 >> 16 & 0xFF, keys01 >> 24, keys23 >> 16 & 0xFF, keys23 >> 24};
    __m256i shown[4];
    for (int g = 0; g < 4; ++g) {
      __m256i pick = _mm256_inserti128_si256(_mm256_castsi128_si256(load16(DECIMAL.pick[first[g]])),
                                             load16(DECIMAL.pick[second[g]]), 1);
      shown[g] = _mm256_shuffle_epi8(groups[g], pick);
    }
    for (int g = 0; g < 4; ++g) {
      store16(out, _mm256_castsi256_si128(shown[g]));
      out += DECIMAL.length[first[g]];
    }
    for (int g = 0; g < 4; ++g) {
      store16(out, _mm256_extracti128_si256(shown[g], 1));
      out += DECIMAL.length[second[g]];
    }
  }
  text = out;
  return done;
}

#endif  // OCTETS_X86_AVX2

}  // namespace octets

#endif  // OCTETS_X86_VECTORS
