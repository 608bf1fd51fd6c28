#include "files/xor_pass.h"

#include <gtest/gtest.h>

#include <functional>
#include <tuple>
#include <utility>
#include <vector>

#include "fake_file.h"
#include "test_support.h"

namespace octets::test {
namespace {

constexpr std::int64_t CHUNK = 256 * 1024;
constexpr unsigned char KEY = 0x5A;
using Ranges = std::vector<std::pair<std::int64_t, std::int64_t>>;

TEST(XorPass, XorBytesMatchesBytewiseXorAtEveryLengthAlignmentAndKey) {
  const std::string bytes = all_byte_values() + all_byte_values();
  for (unsigned key : {1u, 0x5Au, 0x80u, 255u}) {
    for (std::size_t start = 0; start < 64; ++start) {
      for (std::size_t length = 0; start + length <= 300; ++length) {
        std::string copy = bytes;
        xor_bytes(reinterpret_cast<unsigned char*>(copy.data()) + start, length,
                  static_cast<unsigned char>(key));
        std::string expected = bytes;
        for (std::size_t i = start; i < start + length; ++i) expected[i] = static_cast<char>(expected[i] ^ key);
        ASSERT_EQ(copy, expected) << "key " << key << " start " << start << " length " << length;
      }
    }
  }
}

/// A result's fields, to compare them all at once.
auto fields(const CryptResult& r) {
  return std::tie(r.outcome, r.enciphered_from, r.enciphered_to, r.unconfirmed);
}

/// The original bytes cut to `size`, enciphered in the given ranges only.
std::string with_enciphered(std::string bytes, std::int64_t size, const Ranges& ranges) {
  bytes.resize(static_cast<std::size_t>(size));
  for (auto [from, to] : ranges) {
    for (auto i = from; i < to; ++i) bytes[i] = static_cast<char>(bytes[i] ^ KEY);
  }
  return bytes;
}

// Every way a pass can end, what it says stays enciphered, and what the file
// then holds, byte for byte: the result must tell exactly which bytes are left
// enciphered.
TEST(XorPass, EveryOutcomeSaysExactlyWhatStaysEnciphered) {
  using Outcome = CryptOutcome;
  using KeepGoing = std::function<Outcome(FakeFile&, std::int64_t done)>;
  struct Case {
    const char* name;
    std::int64_t size;
    std::function<void(FakeFile&)> arrange;
    /// Called after each chunk and once more at the end: another program may
    /// change the file there.
    KeepGoing keep_going;
    CryptResult said;
    /// What the file holds enciphered afterwards, and its size (-1: as before).
    Ranges enciphered;
    std::int64_t final_size = -1;
    /// What the file holds afterwards, when not as `enciphered` says.
    std::function<std::string(std::string)> after = {};
  };
  const auto none = [](FakeFile&) {};
  const KeepGoing on = [](FakeFile&, std::int64_t) { return Outcome::done; };
  const auto allow = [](std::vector<std::size_t> allowances) {
    return [allowances](FakeFile& file) { file.write_allowances = allowances; };
  };
  /// Once `done_then` bytes are rewritten, another program changes the file.
  const auto at = [](std::int64_t done_then, std::function<void(std::string&)> change) {
    return [=](FakeFile& file, std::int64_t done) {
      if (done == done_then) change(file.bytes);
      return Outcome::done;
    };
  };
  const auto cut_to = [](std::size_t size) { return [=](std::string& b) { b.resize(size); }; };
  const auto add = [](std::string& b) { b += "TAIL\n"; };
  const auto with_tail = [](std::string o) { return o + "TAIL\n"; };
  const std::size_t K = CHUNK;
  const Case cases[] = {
      {"small file", 1000, none, on, {Outcome::done}, {{0, 1000}}},
      {"several chunks", 3 * CHUNK + 5, none, on, {Outcome::done}, {{0, 3 * CHUNK + 5}}},
      {"empty file", 0, none, on, {Outcome::done}, {}},
      {"read fails at once", 3 * CHUNK, [](FakeFile& f) { f.reads_fail_after = 0; }, on,
       {Outcome::read_failed}, {}},
      {"read fails once in the second chunk", 3 * CHUNK,
       [](FakeFile& f) {
         f.reads_fail_after = CHUNK + 10;
         f.read_fails_once = true;
       },
       on, {Outcome::read_failed}, {}},
      {"reads fail for good in the second chunk", 3 * CHUNK,
       [](FakeFile& f) { f.reads_fail_after = CHUNK + 10; }, on,
       {Outcome::read_failed, 0, CHUNK}, {{0, CHUNK}}},
      {"size cannot be had", 1000, [](FakeFile& f) { f.size_fails = true; }, on,
       {Outcome::read_failed}, {}},
      {"write stops in the second chunk, put back fails", 3 * CHUNK, allow({K, 1000, 0}), on,
       {Outcome::write_failed, 0, CHUNK + 1000}, {{0, CHUNK + 1000}}},
      {"put back stops inside the first chunk", 3 * CHUNK, allow({K, 1000, 100000, 0}), on,
       {Outcome::write_failed, 100000, CHUNK + 1000}, {{100000, CHUNK + 1000}}},
      {"put back stops inside the second chunk", 3 * CHUNK, allow({K, K, 500, K, 200}), on,
       {Outcome::write_failed, CHUNK + 200, 2 * CHUNK + 500}, {{CHUNK + 200, 2 * CHUNK + 500}}},
      {"sync fails once", 3 * CHUNK, [](FakeFile& f) { f.syncs_to_fail = 1; }, on,
       {Outcome::sync_failed}, {}},
      {"sync fails for good", 3 * CHUNK, [](FakeFile& f) { f.syncs_to_fail = 9; }, on,
       {Outcome::sync_failed, 0, 3 * CHUNK, true}, {}},
      {"cut before the pass", 100, [](FakeFile& f) { f.bytes.resize(60); }, on, {Outcome::cut},
       {}, 60},
      {"cut before the pass, inside a later chunk", 12 * CHUNK,
       [](FakeFile& f) { f.bytes.resize(6 * CHUNK + 7); }, on, {Outcome::cut}, {}, 6 * CHUNK + 7},
      {"cut inside the next chunk", 12 * CHUNK, none, at(2 * CHUNK, cut_to(600000)),
       {Outcome::cut}, {}, 600000},
      // Never a write past the end: what is left is put back, no more.
      {"cut below what was rewritten", 12 * CHUNK, none, at(2 * CHUNK, cut_to(200000)),
       {Outcome::cut}, {}, 200000},
      {"grown at a chunk's end", 12 * CHUNK, none, at(2 * CHUNK, add), {Outcome::grown}, {}, -1,
       with_tail},
      {"grown after the last write", 3 * CHUNK, none, at(3 * CHUNK, add), {Outcome::grown}, {},
       -1, with_tail},
      // Cut between a read and its write: the size is looked at in between.
      {"cut after the third chunk's read", 12 * CHUNK,
       [](FakeFile& f) { f.after_read = [](std::string& b, int rank) { if (rank == 2) b.resize(100000); }; },
       on, {Outcome::cut}, {}, 100000},
      {"cut after a read of the put back", 3 * CHUNK,
       [](FakeFile& f) { f.after_read = [](std::string& b, int rank) { if (rank == 2) b.resize(100000); }; },
       [](FakeFile&, std::int64_t done) {
         return done < 2 * CHUNK ? Outcome::done : Outcome::interrupted;
       },
       {Outcome::interrupted}, {}, 100000},
      // What another program wrote where the pass had been is combined too.
      {"rewritten whole", 12 * CHUNK, none, at(2 * CHUNK, [](std::string& b) { b = "NEW\n"; }),
       {Outcome::cut}, {}, -1, [](std::string) { return enciphered("NEW\n", KEY); }},
      {"interrupted", 4 * CHUNK + 5, none,
       [](FakeFile&, std::int64_t done) {
         return done < 300000 ? Outcome::done : Outcome::interrupted;
       },
       {Outcome::interrupted}, {}},
      {"replaced, seen at the last look", 2 * CHUNK, none,
       [calls = 0](FakeFile&, std::int64_t) mutable {
         return ++calls < 3 ? Outcome::done : Outcome::replaced;
       },
       {Outcome::replaced}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string original = pseudo_random_bytes(static_cast<std::size_t>(c.size), 11);
    FakeFile file(original);
    c.arrange(file);
    KeepGoing keep_going = c.keep_going;
    CryptResult result =
        xor_in_place(file, c.size, KEY, [&](std::int64_t done) { return keep_going(file, done); });
    EXPECT_EQ(fields(result), fields(c.said));
    // Put back whole exactly when nothing is left enciphered.
    if (c.said.outcome != Outcome::done) {
      EXPECT_EQ(result.restored(), c.enciphered.empty() && !c.said.unconfirmed);
    }
    std::int64_t size = c.final_size < 0 ? c.size : c.final_size;
    EXPECT_TRUE(file.bytes ==
                (c.after ? c.after(original) : with_enciphered(original, size, c.enciphered)))
        << file.bytes.size() << " bytes";
  }
}

}  // namespace
}  // namespace octets::test
