#pragma once

// The byte views' vector formatters, for x86 processors; byte_format.cpp picks
// one at run time. Each formats whole blocks from the start of `bytes`, moves
// `text` past what it wrote and returns how many bytes it formatted (a multiple
// of its block, at most `count`); the caller formats the rest. Each may write up
// to 8 characters past the end of its text. Call one only when the processor
// has the instruction set in its name.

#include <cstddef>

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define OCTETS_X86_VECTORS 1
// GCC for 64-bit Windows does not align the stack for 32-byte vectors, so a
// spilled AVX2 register could fault there: that build stops at SSSE3.
#if !defined(OCTETS_NO_AVX2)
#define OCTETS_X86_AVX2 1
#endif
#endif

namespace octets {

#if defined(OCTETS_X86_VECTORS)
bool processor_has_ssse3();
bool processor_has_avx2();

std::size_t format_decimal_ssse3(const unsigned char* bytes, std::size_t count, char*& text);
std::size_t format_hexadecimal_ssse3(const unsigned char* bytes, std::size_t count,
                                     char*& text);
std::size_t format_binary_ssse3(const unsigned char* bytes, std::size_t count, char*& text);
#endif

#if defined(OCTETS_X86_AVX2)
std::size_t format_decimal_avx2(const unsigned char* bytes, std::size_t count, char*& text);
std::size_t format_hexadecimal_avx2(const unsigned char* bytes, std::size_t count,
                                    char*& text);
std::size_t format_binary_avx2(const unsigned char* bytes, std::size_t count, char*& text);
#endif

}  // namespace octets
