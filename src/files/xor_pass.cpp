#include "files/xor_pass.h"

#include <algorithm>
#include <memory>
#include <new>

#include "files/byte_format_x86.h"

namespace octets {
namespace {

// Small enough to stay in the processor's cache between the read, the key and
// the write back, large enough that the three system calls a chunk makes cost
// little (256 KiB measured a few per cent faster than 128 or 512).
constexpr std::int64_t CRYPT_CHUNK = 256 * 1024;
// The kernel copies to and from a page-aligned buffer fastest.
constexpr std::align_val_t PAGE{4096};
struct PageDelete {
  void operator()(unsigned char* bytes) const { ::operator delete[](bytes, PAGE); }
};

/// done while the file still has its size.
CryptOutcome check_size(RandomAccessFile& file, std::int64_t size) {
  std::int64_t now = file.size();
  if (now == size) return CryptOutcome::done;
  if (now < 0) return CryptOutcome::read_failed;
  return now < size ? CryptOutcome::cut : CryptOutcome::grown;
}

/// Combines again with the key the first `written` bytes, as far as the file
/// still has them, and syncs it.
CryptResult put_back(RandomAccessFile& file, std::int64_t written, unsigned char key,
                     unsigned char* chunk, std::int64_t capacity, CryptOutcome why) {
  CryptResult result{why};
  for (std::int64_t at = 0; at < written;) {
    auto n = static_cast<std::size_t>(std::min(written - at, capacity));
    std::int64_t got = file.read(at, chunk, n);
    // As in the pass, never a byte past the file's end as last seen: what
    // another program cut off stays cut off.
    std::int64_t now = got < 0 ? -1 : file.size();
    if (now < 0) return {why, at, written};
    auto count = static_cast<std::size_t>(std::clamp<std::int64_t>(now - at, 0, got));
    xor_bytes(chunk, count, key);
    std::size_t put = file.write(at, chunk, count);
    at += static_cast<std::int64_t>(put);
    if (put < count) return {why, at, std::min(written, now)};
    // The file ends here.
    if (count < n) break;
  }
  if (written > 0 && !file.sync()) {
    result.unconfirmed = true;
    result.enciphered_to = std::max<std::int64_t>(0, std::min(written, file.size()));
  }
  return result;
}

}  // namespace

// A plain loop over bytes: the compiler turns it into vector instructions, the
// widest the processor has.
#if defined(OCTETS_X86_AVX2)
__attribute__((target_clones("avx2", "default")))
#endif
void xor_bytes(unsigned char* bytes, std::size_t count, unsigned char key) {
  for (std::size_t i = 0; i < count; ++i) bytes[i] ^= key;
}

CryptResult xor_in_place(RandomAccessFile& file, std::int64_t size, unsigned char key,
                         const KeepGoing& keep_going) {
  const std::int64_t capacity = std::clamp<std::int64_t>(size, 1, CRYPT_CHUNK);
  // Every byte is read into it before use, so it needs no zeroing.
  std::unique_ptr<unsigned char[], PageDelete> buffer(
      static_cast<unsigned char*>(::operator new[](static_cast<std::size_t>(capacity), PAGE)));
  unsigned char* chunk = buffer.get();
  CryptOutcome outcome = CryptOutcome::done;
  // The file is enciphered from its start up to `written`, and plain after it.
  std::int64_t written = 0;
  while (written < size && outcome == CryptOutcome::done) {
    auto n = static_cast<std::size_t>(std::min(size - written, capacity));
    std::int64_t got = file.read(written, chunk, n);
    if (got < static_cast<std::int64_t>(n)) {
      outcome = got < 0 ? CryptOutcome::read_failed : CryptOutcome::cut;
      break;
    }
    xor_bytes(chunk, n, key);
    // A write past the end would grow a file that another program cut, and a
    // file that changed size is no longer the one agreed to: the size is
    // looked at again as late as can be.
    outcome = check_size(file, size);
    if (outcome != CryptOutcome::done) break;
    std::size_t put = file.write(written, chunk, n);
    written += static_cast<std::int64_t>(put);
    outcome = put < n ? CryptOutcome::write_failed : keep_going(written);
  }
  // Success is reported only for data on the storage, in a file that did not
  // change meanwhile.
  if (outcome == CryptOutcome::done) {
    outcome = file.sync() ? check_size(file, size) : CryptOutcome::sync_failed;
  }
  if (outcome == CryptOutcome::done) outcome = keep_going(written);
  if (outcome == CryptOutcome::done) return {};
  return put_back(file, written, key, chunk, capacity, outcome);
}

}  // namespace octets
