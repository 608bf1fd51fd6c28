#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>

#include "console/console.h"

namespace octets {

/// Combines every byte with the key by exclusive or.
void xor_bytes(unsigned char* bytes, std::size_t count, unsigned char key);

enum class CryptOutcome {
  done,
  /// The file delivered fewer bytes than its size; it was left as it was.
  read_failed,
  /// A write failed; what had been rewritten was put back.
  write_failed,
  /// A read or write failed and the bytes already rewritten could not all be put
  /// back: the start of the file may still be enciphered.
  not_restored,
};

/// Enciphers the first `size` bytes of `file` in place, chunk by chunk. `file`
/// must be open for update without buffering, so that a short write count is
/// exactly what reached the file. `chunk_done`, when given, is told how many
/// bytes are rewritten after each chunk.
CryptOutcome crypt_in_place(std::FILE* file, std::int64_t size, unsigned char key,
                            const std::function<void(std::int64_t)>& chunk_done = {});

/// Asks for a file name, a confirmation and a key from 1 to 255, then enciphers
/// or deciphers the file in place. Every refusal leaves the file untouched.
void crypt_file(Console& console);

}  // namespace octets
