#pragma once

// Enciphering a file in place by exclusive or with a one-byte key, and putting
// it back when the pass cannot end well. No dialogue: the encipherer tells the
// user what happened.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "files/file_system.h"

namespace octets {

void xor_bytes(unsigned char* bytes, std::size_t count, unsigned char key);

/// A 64-bit digest of the bytes, enough to tell that a chunk no longer holds
/// what was written there (against accidents, not against forgery).
std::uint64_t digest(const unsigned char* bytes, std::size_t count);

/// xor_bytes(), then digest() of the result, in one pass over the bytes where
/// the processor allows it.
std::uint64_t xor_and_digest(unsigned char* bytes, std::size_t count, unsigned char key);

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
  /// Another program asked for the file while it was held off from it.
  wanted,
  /// The name no longer leads to the file that was opened.
  replaced,
  /// The pass was asked to stop.
  interrupted,
};

/// Byte ranges, each from its first byte to before its end, in order.
using ByteRanges = std::vector<std::pair<std::int64_t, std::int64_t>>;

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
  /// Where the file no longer held what the pass wrote: another program's
  /// bytes, left as they are.
  ByteRanges changed = {};

  /// Everything the pass wrote that is still its own was put back.
  bool restored() const { return enciphered == 0 && also_to == also_from && !unconfirmed; }
};

/// Called after each chunk with the count of bytes rewritten so far; returning
/// false stops the pass, which then puts the file back.
using KeepGoing = std::function<bool(std::int64_t done)>;

/// One pass over the first `size` bytes of a file. It remembers a digest of
/// each chunk as written, so that a put back rewrites only the chunks that
/// still hold exactly those bytes.
class XorPass {
 public:
  XorPass(RandomAccessFile& file, std::int64_t size, unsigned char key);

  /// Enciphers the file in place, chunk by chunk, and syncs it. Just before
  /// each write, check() must find nothing: the size is still `size` (no byte
  /// is written past the end it sees) and nobody asked for the file; after
  /// each chunk `keep_going` must not say stop; once synced, check() must
  /// still find nothing. Otherwise the pass puts the file back, and says what
  /// it could not.
  CryptResult run(const KeepGoing& keep_going);

  /// done when the file still has its size and nobody asked for it; otherwise
  /// what stands against the pass's success.
  CryptOutcome check();

  /// Puts back what run() wrote, from the last chunk down, so that whatever
  /// cannot be put back is the start of the file, and syncs it. A chunk the
  /// file no longer holds exactly is left alone and listed in `changed`.
  CryptResult put_back(CryptOutcome why);

 private:
  // The kernel copies to and from a page-aligned buffer fastest.
  static constexpr std::align_val_t PAGE{4096};
  struct AlignedDelete {
    void operator()(unsigned char* bytes) const { ::operator delete[](bytes, PAGE); }
  };

  RandomAccessFile& file_;
  std::int64_t size_;
  unsigned char key_;
  std::size_t capacity_;
  std::unique_ptr<unsigned char[], AlignedDelete> chunk_;
  /// The bytes rewritten from the start, and the digest of each chunk of them.
  std::int64_t written_ = 0;
  std::vector<std::uint64_t> digests_;
};

}  // namespace octets
