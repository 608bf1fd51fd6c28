#include "files/xor_pass.h"

#include <algorithm>
#include <memory>
#include <new>

namespace octets {
namespace {

// Small enough to stay in the processor's cache between the read, the key and
// the write back, large enough that the three system calls a chunk makes cost
// little (256 KiB measured a few per cent faster than 128 or 512).
constexpr std::size_t CRYPT_CHUNK = 256 * 1024;
// The kernel copies to and from a page-aligned buffer fastest.
constexpr std::align_val_t PAGE{4096};

struct AlignedDelete {
  void operator()(unsigned char* bytes) const { ::operator delete[](bytes, PAGE); }
};
using ChunkBuffer = std::unique_ptr<unsigned char[], AlignedDelete>;

ChunkBuffer make_chunk(std::size_t capacity) {
  // Every byte is read into it before use, so it needs no zeroing.
  return ChunkBuffer(static_cast<unsigned char*>(::operator new[](capacity, PAGE)));
}

/// Applies the key again to the first `end` bytes, which were enciphered,
/// from the last chunk down, so that whatever cannot be put back is the start
/// of the file. What another program cut off is not written again.
CryptResult put_back(RandomAccessFile& file, std::int64_t end, unsigned char key, unsigned char* chunk,
                     std::size_t capacity) {
  CryptResult result;
  const auto step = static_cast<std::int64_t>(capacity);
  for (std::int64_t top = end; top > 0;) {
    std::int64_t bottom = (top - 1) / step * step;
    std::int64_t now = file.size();
    std::int64_t limit = std::min(top, now);
    if (limit > bottom) {
      auto n = static_cast<std::size_t>(limit - bottom);
      std::int64_t got = file.read(bottom, chunk, n);
      if (got < 0) {
        result.enciphered = limit;
        return result;
      }
      n = static_cast<std::size_t>(got);
      xor_bytes(chunk, n, key);
      std::size_t written = file.write(bottom, chunk, n);
      if (written < n) {
        result.enciphered = written == 0 ? bottom + static_cast<std::int64_t>(n) : bottom;
        if (written != 0) {
          result.also_from = bottom + static_cast<std::int64_t>(written);
          result.also_to = bottom + static_cast<std::int64_t>(n);
        }
        return result;
      }
    } else if (now < 0) {
      result.enciphered = top;
      return result;
    }
    top = bottom;
  }
  if (end > 0 && !file.sync()) {
    result.unconfirmed = true;
    result.enciphered = std::max<std::int64_t>(0, std::min(end, file.size()));
  }
  return result;
}

}  // namespace

void xor_bytes(unsigned char* bytes, std::size_t count, unsigned char key) {
  // A plain loop over bytes: the compiler turns it into vector instructions.
  for (std::size_t i = 0; i < count; ++i) bytes[i] ^= key;
}

CryptResult crypt_in_place(RandomAccessFile& file, std::int64_t size, unsigned char key,
                           const KeepGoing& keep_going) {
  const auto capacity = static_cast<std::size_t>(
      std::clamp<std::int64_t>(size, 1, static_cast<std::int64_t>(CRYPT_CHUNK)));
  ChunkBuffer buffer = make_chunk(capacity);
  unsigned char* chunk = buffer.get();
  CryptOutcome outcome = CryptOutcome::done;
  // The file is enciphered from its start up to `done`, and plain after it.
  std::int64_t done = 0;
  while (done < size) {
    auto n = static_cast<std::size_t>(
        std::min<std::int64_t>(size - done, static_cast<std::int64_t>(capacity)));
    std::int64_t got = file.read(done, chunk, n);
    if (got < 0) {
      outcome = CryptOutcome::read_failed;
      break;
    }
    if (got < static_cast<std::int64_t>(n)) {
      outcome = CryptOutcome::cut;
      break;
    }
    xor_bytes(chunk, n, key);
    // A write past the end would grow a file that another program cut: the
    // size is looked at again as late as can be.
    std::int64_t now = file.size();
    if (now < done + static_cast<std::int64_t>(n)) {
      outcome = now < 0 ? CryptOutcome::read_failed : CryptOutcome::cut;
      break;
    }
    std::size_t written = file.write(done, chunk, n);
    done += static_cast<std::int64_t>(written);
    if (written < n) {
      outcome = CryptOutcome::write_failed;
      break;
    }
    if (keep_going && !keep_going(done)) {
      outcome = CryptOutcome::interrupted;
      break;
    }
  }
  // Success is reported only for data on the storage.
  if (outcome == CryptOutcome::done) {
    if (file.sync()) return {};
    outcome = CryptOutcome::sync_failed;
  }
  CryptResult result = put_back(file, done, key, chunk, capacity);
  result.outcome = outcome;
  return result;
}

}  // namespace octets
