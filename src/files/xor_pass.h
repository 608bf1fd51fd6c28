#pragma once

// Enciphering a file in place by exclusive or with a one-byte key, and putting
// it back when the pass cannot end well. No dialogue: the encipherer tells the
// user what happened.

#include <cstddef>
#include <cstdint>
#include <functional>

#include "files/file_system.h"

namespace octets {

/// Combines every byte with the key by exclusive or.
void xor_bytes(unsigned char* bytes, std::size_t count, unsigned char key);

/// Why a pass over the file ended.
enum class CryptOutcome {
  done,
  /// A read failed.
  read_failed,
  /// A write failed.
  write_failed,
  /// The data could not be put on the storage.
  sync_failed,
  /// Another program cut the file during the pass.
  cut,
  /// The pass was asked to stop.
  interrupted,
};

/// A pass's outcome, and what of the file stays enciphered when it did not end
/// well: the bytes already rewritten are put back, and only what could not be
/// is counted here.
struct CryptResult {
  CryptOutcome outcome = CryptOutcome::done;
  /// The first `enciphered` bytes are still enciphered...
  std::int64_t enciphered = 0;
  /// ...and so are the bytes from `also_from` to before `also_to`, when a put
  /// back stopped in the middle of a piece.
  std::int64_t also_from = 0;
  std::int64_t also_to = 0;
  /// The put back was written, but the storage did not confirm it: the bytes
  /// counted in `enciphered` may be enciphered there.
  bool unconfirmed = false;

  bool restored() const { return enciphered == 0 && also_to == also_from && !unconfirmed; }
};

/// Called after each chunk with the count of bytes rewritten so far; returning
/// false stops the pass, which then puts the file back.
using KeepGoing = std::function<bool(std::int64_t done)>;

/// Enciphers the first `size` bytes of `file` in place, chunk by chunk, and
/// syncs the file before it reports success. Never writes past the file's
/// current end. On failure or when `keep_going` says stop, the bytes already
/// rewritten are put back and synced.
CryptResult crypt_in_place(RandomAccessFile& file, std::int64_t size, unsigned char key,
                           const KeepGoing& keep_going = {});

}  // namespace octets
