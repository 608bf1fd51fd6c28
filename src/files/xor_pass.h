#pragma once

// Enciphering a file in place by exclusive or with a one-byte key, and putting
// it back when the pass cannot end well. No dialogue: the encipherer tells the
// user what happened.

#include <cstddef>
#include <cstdint>
#include <functional>

#include "files/file_system.h"

namespace octets {

void xor_bytes(unsigned char* bytes, std::size_t count, unsigned char key);

/// Why a pass over the file ended.
enum class CryptOutcome {
  done,
  read_failed,
  write_failed,
  /// The data could not be put on the storage.
  sync_failed,
  /// Another program cut the file during the pass.
  cut,
  /// Another program made the file longer during the pass.
  grown,
  /// The name no longer leads to the file that was opened.
  replaced,
  /// The pass was asked to stop.
  interrupted,
};

/// A pass's outcome, and what of the file stays enciphered when it did not end
/// well: the bytes already rewritten are put back, and only what could not be
/// is counted here.
struct CryptResult {
  CryptOutcome outcome = CryptOutcome::done;
  /// The bytes from `enciphered_from` to before `enciphered_to` are still
  /// enciphered, or may be when the put back is `unconfirmed`: written, but
  /// the storage did not confirm it.
  std::int64_t enciphered_from = 0;
  std::int64_t enciphered_to = 0;
  bool unconfirmed = false;

  /// Everything the pass wrote was put back.
  bool restored() const { return enciphered_to == enciphered_from; }
};

/// Called after each chunk with the count of bytes rewritten so far, and once
/// more when the pass is done and synced: done to go on, or what stands against
/// the pass, which then puts the file back.
using KeepGoing = std::function<CryptOutcome(std::int64_t done)>;

/// Enciphers the first `size` bytes of a file in place, chunk by chunk, and
/// syncs it. Just before each write, and once more after the sync, the file
/// must still have that size (no byte is written past the end seen); after
/// each chunk and once synced, `keep_going` must find nothing. Otherwise every
/// byte written that the file still has is combined with the key again, up to
/// the end seen, the file is synced, and the result says what could not be.
CryptResult xor_in_place(RandomAccessFile& file, std::int64_t size, unsigned char key,
                         const KeepGoing& keep_going);

}  // namespace octets
