#include "files/xor_pass.h"

#include <algorithm>
#include <cstring>

#include "files/byte_format_x86.h"
#if defined(OCTETS_X86_AVX2)
#include <immintrin.h>
#endif

namespace octets {
namespace {

// Small enough to stay in the processor's cache between the read, the key and
// the write back, large enough that the three system calls a chunk makes cost
// little (256 KiB measured a few per cent faster than 128 or 512).
constexpr std::size_t CRYPT_CHUNK = 256 * 1024;
constexpr std::uint64_t MULTIPLIER = 0x9E3779B97F4A7C15;  // odd: a bijection

std::uint64_t mix(std::uint64_t hash, std::uint64_t word) {
  hash ^= word;
  return ((hash << 29) | (hash >> 35)) * MULTIPLIER;
}

// The digest reads 64-byte blocks as 8 lanes of 8 bytes. Each lane adds up its
// words, and the product of the two halves of each word combined with a count
// that moves on every block, so that where a word stands counts as well as
// what it holds. The lanes' sums are then mixed together, with the last bytes.
struct Lanes {
  std::uint64_t place[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  std::uint64_t products[8] = {};
  std::uint64_t sums[8] = {};

  void add_blocks(const unsigned char* bytes, std::size_t blocks) {
    for (std::size_t b = 0; b < blocks; ++b) {
      for (int lane = 0; lane < 8; ++lane) {
        std::uint64_t word;
        std::memcpy(&word, bytes + 64 * b + 8 * lane, sizeof word);
        std::uint64_t placed = word ^ place[lane];
        products[lane] += (placed & 0xFFFFFFFF) * (placed >> 32);
        sums[lane] += word;
        place[lane] += MULTIPLIER;
      }
    }
  }

  std::uint64_t finish(const unsigned char* rest, std::size_t count) const {
    std::uint64_t hash = count;
    for (int lane = 0; lane < 8; ++lane) hash = mix(mix(hash, products[lane]), sums[lane]);
    for (std::size_t i = 0; i < count % 64; ++i) hash = mix(hash, rest[i]);
    // The end of MurmurHash3: every bit of the result depends on every bit here.
    hash ^= hash >> 33;
    hash *= 0xFF51AFD7ED558CCD;
    return hash ^ (hash >> 33);
  }
};

#if defined(OCTETS_X86_AVX2)
/// Lanes::add_blocks() on the bytes as they are combined with the key, in one
/// pass: the digest then costs nothing beside the memory's own time.
__attribute__((target("avx2"))) void xor_and_add_blocks(unsigned char* bytes, std::size_t blocks,
                                                         unsigned char key, Lanes& lanes) {
  const __m256i keys = _mm256_set1_epi8(static_cast<char>(key));
  const __m256i step = _mm256_set1_epi64x(static_cast<long long>(MULTIPLIER));
  // Lanes 0 to 3 in one register, 4 to 7 in the other.
  const auto half_of = [](std::uint64_t* lanes, int half) {
    return reinterpret_cast<__m256i*>(lanes + 4 * half);
  };
  __m256i place[2], products[2], sums[2];
  for (int half = 0; half < 2; ++half) {
    place[half] = _mm256_loadu_si256(half_of(lanes.place, half));
    products[half] = _mm256_loadu_si256(half_of(lanes.products, half));
    sums[half] = _mm256_loadu_si256(half_of(lanes.sums, half));
  }
  for (std::size_t b = 0; b < blocks; ++b) {
    for (int half = 0; half < 2; ++half) {
      auto* at = reinterpret_cast<__m256i*>(bytes + 64 * b + 32 * half);
      __m256i words = _mm256_xor_si256(_mm256_loadu_si256(at), keys);
      _mm256_storeu_si256(at, words);
      __m256i placed = _mm256_xor_si256(words, place[half]);
      products[half] = _mm256_add_epi64(products[half],
                                        _mm256_mul_epu32(placed, _mm256_srli_epi64(placed, 32)));
      sums[half] = _mm256_add_epi64(sums[half], words);
      place[half] = _mm256_add_epi64(place[half], step);
    }
  }
  for (int half = 0; half < 2; ++half) {
    _mm256_storeu_si256(half_of(lanes.place, half), place[half]);
    _mm256_storeu_si256(half_of(lanes.products, half), products[half]);
    _mm256_storeu_si256(half_of(lanes.sums, half), sums[half]);
  }
}
#endif

}  // namespace

void xor_bytes(unsigned char* bytes, std::size_t count, unsigned char key) {
  // A plain loop over bytes: the compiler turns it into vector instructions.
  for (std::size_t i = 0; i < count; ++i) bytes[i] ^= key;
}

std::uint64_t digest(const unsigned char* bytes, std::size_t count) {
  Lanes lanes;
  lanes.add_blocks(bytes, count / 64);
  return lanes.finish(bytes + count / 64 * 64, count);
}

std::uint64_t xor_and_digest(unsigned char* bytes, std::size_t count, unsigned char key) {
#if defined(OCTETS_X86_AVX2)
  static const bool avx2 = processor_has_avx2();
  if (avx2) {
    Lanes lanes;
    xor_and_add_blocks(bytes, count / 64, key, lanes);
    xor_bytes(bytes + count / 64 * 64, count % 64, key);
    return lanes.finish(bytes + count / 64 * 64, count);
  }
#endif
  xor_bytes(bytes, count, key);
  return digest(bytes, count);
}

XorPass::XorPass(RandomAccessFile& file, std::int64_t size, unsigned char key)
    : file_(file),
      size_(size),
      key_(key),
      capacity_(static_cast<std::size_t>(
          std::clamp<std::int64_t>(size, 1, static_cast<std::int64_t>(CRYPT_CHUNK)))),
      // Every byte is read into it before use, so it needs no zeroing.
      chunk_(static_cast<unsigned char*>(::operator new[](capacity_, PAGE))) {
  // 8 bytes a chunk: 32 KiB a GiB.
  digests_.reserve(static_cast<std::size_t>(size / static_cast<std::int64_t>(capacity_)) + 1);
}

CryptOutcome XorPass::check() {
  if (file_.wanted()) return CryptOutcome::wanted;
  std::int64_t now = file_.size();
  if (now == size_) return CryptOutcome::done;
  if (now < 0) return CryptOutcome::read_failed;
  return now < size_ ? CryptOutcome::cut : CryptOutcome::grown;
}

CryptResult XorPass::run(const KeepGoing& keep_going) {
  unsigned char* chunk = chunk_.get();
  CryptOutcome outcome = CryptOutcome::done;
  // The file is enciphered from its start up to `written_`, and plain after it.
  while (written_ < size_) {
    auto n = static_cast<std::size_t>(
        std::min<std::int64_t>(size_ - written_, static_cast<std::int64_t>(capacity_)));
    std::int64_t got = file_.read(written_, chunk, n);
    if (got < 0) {
      outcome = CryptOutcome::read_failed;
      break;
    }
    if (got < static_cast<std::int64_t>(n)) {
      outcome = CryptOutcome::cut;
      break;
    }
    std::uint64_t written_digest = xor_and_digest(chunk, n, key_);
    // A write past the end would grow a file that another program cut, and a
    // file that changed size is no longer the one agreed to: the size is
    // looked at again as late as can be.
    outcome = check();
    if (outcome != CryptOutcome::done) break;
    std::size_t written = file_.write(written_, chunk, n);
    if (written > 0) digests_.push_back(written == n ? written_digest : digest(chunk, written));
    written_ += static_cast<std::int64_t>(written);
    if (written < n) {
      outcome = CryptOutcome::write_failed;
      break;
    }
    if (keep_going && !keep_going(written_)) {
      outcome = CryptOutcome::interrupted;
      break;
    }
  }
  // Success is reported only for data on the storage, in a file that did not
  // change meanwhile.
  if (outcome == CryptOutcome::done) outcome = file_.sync() ? check() : CryptOutcome::sync_failed;
  if (outcome == CryptOutcome::done) return {};
  return put_back(outcome);
}

CryptResult XorPass::put_back(CryptOutcome why) {
  CryptResult result{why};
  unsigned char* chunk = chunk_.get();
  // From the end down, so that they come out in order once reversed.
  auto leave = [&](std::int64_t from, std::int64_t to) {
    if (to <= from) return;
    if (!result.changed.empty() && result.changed.back().first == to) {
      result.changed.back().first = from;
    } else {
      result.changed.emplace_back(from, to);
    }
  };
  auto told = [&]() {
    std::reverse(result.changed.begin(), result.changed.end());
    return result;
  };
  const auto step = static_cast<std::int64_t>(capacity_);
  bool rewrote = false;
  for (std::int64_t top = written_; top > 0;) {
    std::int64_t bottom = (top - 1) / step * step;
    auto n = static_cast<std::size_t>(top - bottom);
    std::int64_t got = file_.read(bottom, chunk, n);
    bool own = got == static_cast<std::int64_t>(n) &&
               digest(chunk, n) == digests_[static_cast<std::size_t>(bottom / step)];
    if (own) {
      xor_bytes(chunk, n, key_);
      // As in the pass, never a byte past the file's current end.
      std::int64_t now = file_.size();
      if (now < top) {
        own = false;
        got = now < 0 ? -1 : std::max<std::int64_t>(now - bottom, 0);
      }
    }
    if (got < 0) {
      result.enciphered = top;
      return told();
    }
    if (!own) {
      // What another program wrote there, or what it left of the chunk when it
      // cut the file: not the pass's to change.
      leave(bottom, bottom + got);
    } else {
      std::size_t written = file_.write(bottom, chunk, n);
      rewrote = true;
      if (written < n) {
        result.enciphered = written == 0 ? top : bottom;
        if (written != 0) {
          result.also_from = bottom + static_cast<std::int64_t>(written);
          result.also_to = top;
        }
        return told();
      }
    }
    top = bottom;
  }
  if (rewrote && !file_.sync()) {
    result.unconfirmed = true;
    result.enciphered = std::max<std::int64_t>(0, std::min(written_, file_.size()));
  }
  return told();
}

}  // namespace octets
