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
  return std::tie(r.outcome, r.enciphered, r.also_from, r.also_to, r.unconfirmed, r.changed);
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
  struct Case {
    const char* name;
    std::int64_t size;
    std::function<void(FakeFile&)> arrange;
    /// Called after each chunk; false stops the pass.
    std::function<bool(FakeFile&, std::int64_t done)> keep_going;
    CryptResult said;
    /// What the file holds enciphered afterwards, and its size (-1: as before).
    Ranges enciphered;
    std::int64_t final_size = -1;
    /// Another program's change to the bytes: once `at` bytes are rewritten, or
    /// between the check and the write of rank `before_write`; it waits for
    /// the pass's end while the file is `held` off from it.
    std::function<void(std::string&)> change = {};
    std::int64_t at = -1;
    int before_write = -1;
    bool held = false;
    /// What the file holds afterwards, when not as `enciphered` says.
    std::function<std::string(std::string)> after = {};
  };
  const auto none = [](FakeFile&) {};
  const auto on = [](FakeFile&, std::int64_t) { return true; };
  const auto allow = [](std::vector<std::size_t> allowances) {
    return [allowances](FakeFile& file) { file.write_allowances = allowances; };
  };
  const auto cut_at = [](std::int64_t done_then, std::size_t size) {
    return [=](FakeFile& file, std::int64_t done) {
      if (done == done_then) file.bytes.resize(size);
      return true;
    };
  };
  const auto cut_to = [](std::size_t size) { return [=](std::string& b) { b.resize(size); }; };
  const auto add = [](std::string& b) { b += "TAIL\n"; };
  const auto opened = [](std::string&) {};
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
       {Outcome::read_failed, CHUNK}, {{0, CHUNK}}},
      {"size cannot be had", 1000, [](FakeFile& f) { f.size_fails = true; }, on,
       {Outcome::read_failed}, {}},
      {"write stops in the second chunk, put back fails", 3 * CHUNK, allow({K, 1000, 0, 0}), on,
       {Outcome::write_failed, CHUNK + 1000}, {{0, CHUNK + 1000}}},
      {"put back stops inside the first chunk", 3 * CHUNK, allow({K, 1000, 1000, 100000, 0}), on,
       {Outcome::write_failed, 0, 100000, CHUNK}, {{100000, CHUNK}}},
      {"put back stops inside the third chunk", 3 * CHUNK, allow({K, K, 500, 200, 0}), on,
       {Outcome::write_failed, 2 * CHUNK, 2 * CHUNK + 200, 2 * CHUNK + 500},
       {{0, 2 * CHUNK}, {2 * CHUNK + 200, 2 * CHUNK + 500}}},
      {"sync fails once", 3 * CHUNK, [](FakeFile& f) { f.syncs_to_fail = 1; }, on,
       {Outcome::sync_failed}, {}},
      {"sync fails for good", 3 * CHUNK, [](FakeFile& f) { f.syncs_to_fail = 9; }, on,
       {Outcome::sync_failed, 3 * CHUNK, 0, 0, true}, {}},
      {"cut before the pass", 100, [](FakeFile& f) { f.bytes.resize(60); }, on, {Outcome::cut},
       {}, 60},
      {"cut before the pass, inside a later chunk", 12 * CHUNK,
       [](FakeFile& f) { f.bytes.resize(6 * CHUNK + 7); }, on, {Outcome::cut}, {}, 6 * CHUNK + 7},
      {"cut inside the next chunk", 12 * CHUNK, none, cut_at(2 * CHUNK, 600000), {Outcome::cut},
       {}, 600000},
      // What is left of a chunk is not known to be the pass's: left alone.
      {"cut below what was rewritten", 12 * CHUNK, none, cut_at(2 * CHUNK, 200000),
       {Outcome::cut, 0, 0, 0, false, {{0, 200000}}}, {{0, 200000}}, 200000},
      {"grown at a chunk's end", 12 * CHUNK, none, on, {Outcome::grown}, {}, -1, add, 2 * CHUNK,
       -1, false, with_tail},
      {"grown after the last write", 3 * CHUNK, none, on, {Outcome::grown}, {}, -1, add,
       3 * CHUNK, -1, false, with_tail},
      {"rewritten whole", 12 * CHUNK, none, on, {Outcome::cut, 0, 0, 0, false, {{0, 4}}}, {}, -1,
       [](std::string& b) { b = "NEW\n"; }, 2 * CHUNK, -1, false,
       [](std::string) { return std::string("NEW\n"); }},
      {"overwritten where rewritten, then interrupted", 12 * CHUNK, none,
       [](FakeFile&, std::int64_t done) { return done < 2 * CHUNK; },
       {Outcome::interrupted, 0, 0, 0, false, {{0, CHUNK}}}, {{0, CHUNK}}, -1,
       [](std::string& b) { b.replace(1000, 3, "XYZ"); }, 2 * CHUNK, -1, false,
       [](std::string o) {
         return with_enciphered(o, 12 * CHUNK, {{0, CHUNK}}).replace(1000, 3, "XYZ");
       }},
      // The window no check can close: the write grows the file back, and
      // only the digests keep the put back off what it left.
      {"cut between the check and the write", 12 * CHUNK, none, on,
       {Outcome::cut, 0, 0, 0, false, {{0, 2 * CHUNK}}}, {}, -1, cut_to(100000), -1, 2, false,
       [](std::string o) {
         return with_enciphered(o, 100000, {{0, 100000}}) + std::string(2 * CHUNK - 100000, '\0') +
                o.substr(2 * CHUNK, CHUNK);
       }},
      // A lease closes it: the cut waits until the file is put back.
      {"cut between the check and the write, held off", 12 * CHUNK, none, on, {Outcome::wanted},
       {}, -1, cut_to(100000), -1, 2, true, [](std::string o) { return o.substr(0, 100000); }},
      {"opened by another program, held off", 12 * CHUNK, none, on, {Outcome::wanted}, {}, -1,
       opened, 2 * CHUNK, -1, true},
      {"interrupted", 4 * CHUNK + 5, none,
       [](FakeFile&, std::int64_t done) { return done < 300000; }, {Outcome::interrupted}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string original = pseudo_random_bytes(static_cast<std::size_t>(c.size), 11);
    FakeFile file(original);
    c.arrange(file);
    file.held = c.held;
    file.before_write = [&](FakeFile& f, std::size_t rank) {
      if (static_cast<int>(rank) == c.before_write) f.act(c.change);
    };
    CryptResult result = XorPass(file, c.size, KEY).run([&](std::int64_t done) {
      if (done == c.at) file.act(c.change);
      return c.keep_going(file, done);
    });
    // Released: the program that waited goes on.
    if (file.waiting) file.waiting(file.bytes);
    EXPECT_EQ(fields(result), fields(c.said));
    // Put back whole exactly when nothing is left enciphered but what another
    // program changed.
    if (c.said.outcome != Outcome::done) {
      EXPECT_EQ(result.restored(), (c.enciphered.empty() || c.enciphered == c.said.changed) &&
                                       !c.said.unconfirmed);
    }
    std::int64_t size = c.final_size < 0 ? c.size : c.final_size;
    EXPECT_TRUE(file.bytes ==
                (c.after ? c.after(original) : with_enciphered(original, size, c.enciphered)))
        << file.bytes.size() << " bytes";
  }
}

// Every bit counts, and the pass's one-pass way (vector instructions and all)
// gives the same digest at every length and alignment.
TEST(XorPass, DigestTellsEveryBitApartTheSameWayInOnePass) {
  const std::string bytes = pseudo_random_bytes(1000, 4);
  const auto of = [](std::string b) {
    return digest(reinterpret_cast<unsigned char*>(b.data()), 300);
  };
  for (std::size_t bit = 0; bit < 300 * 8; ++bit) {
    std::string flipped = bytes;
    flipped[bit / 8] = static_cast<char>(flipped[bit / 8] ^ (1 << bit % 8));
    ASSERT_NE(of(flipped), of(bytes)) << "bit " << bit;
  }
  for (std::size_t start = 0; start < 40; ++start) {
    for (std::size_t length = 0; start + length <= bytes.size(); length += 1 + length / 8) {
      std::string copy = bytes;
      auto* at = reinterpret_cast<unsigned char*>(copy.data()) + start;
      std::uint64_t said = xor_and_digest(at, length, KEY);
      ASSERT_EQ(said, digest(at, length)) << start << " " << length;
      ASSERT_EQ(copy, with_enciphered(bytes, 1000, {{start, start + length}}));
    }
  }
}

TEST(XorPass, ProgressIsReportedAfterEachChunkUpToTheWholeSize) {
  const std::int64_t size = 5 * CHUNK + 3;
  FakeFile file(pseudo_random_bytes(static_cast<std::size_t>(size), 5));
  std::vector<std::int64_t> reported;
  CryptResult result = XorPass(file, size, KEY).run([&](std::int64_t done) {
    reported.push_back(done);
    return true;
  });
  EXPECT_EQ(result.outcome, CryptOutcome::done);
  EXPECT_EQ(reported, (std::vector<std::int64_t>{CHUNK, 2 * CHUNK, 3 * CHUNK, 4 * CHUNK,
                                                 5 * CHUNK, size}));
}

}  // namespace
}  // namespace octets::test
