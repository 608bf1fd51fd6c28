#include "files/encipherer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "files/current_file.h"
#include "test_support.h"

namespace octets {
namespace {

using namespace testing;

std::string dialogue(std::size_t size) {
  return "Nom du fichier TEXTE :  = " + std::to_string(size) +
         " octets\nAttention. Tous les octets vont Etre modifiEs.\n"
         "Souhaitez vous crypter/dEcrypter ? (y/N) : ";
}
const std::string KEY_PROMPT = "ClE de cryptage/dEcryptage (1 A 255) = ";
const std::string DONE = "Fichier cryptE / dEcryptE\n";

class Encipherer : public ::testing::Test {
 protected:
  testing::TemporaryFolder folder;
};

TEST_F(Encipherer, XorBytesMatchesBytewiseXorAtEveryLengthAlignmentAndKey) {
  // Every byte value, at every start within a cache line and every length up
  // to a few hundred: the compiler's vector loop and its scalar ends.
  const std::string bytes = testing::all_byte_values() + testing::all_byte_values();
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

TEST_F(Encipherer, SameKeyTwiceRestoresTheFile) {
  const std::string bytes = testing::all_byte_values();
  write_file("f.bin", bytes);
  for (unsigned key : {1u, 7u, 128u, 255u}) {
    auto session = run_session("7\nf.bin\ny\n" + std::to_string(key) + "\nn\n");
    EXPECT_EQ(session.transcript,
              MENU + "<clear>" + dialogue(256) + KEY_PROMPT + DONE + CONTINUE);
    ASSERT_EQ(read_file("f.bin"), enciphered(bytes, static_cast<unsigned char>(key)));
    run_session("7\nf.bin\ny\n" + std::to_string(key) + "\nn\n");
    ASSERT_EQ(read_file("f.bin"), bytes);
  }
}

TEST_F(Encipherer, RefusalsLeaveTheFileUntouched) {
  const std::string bytes = "secret\n";
  write_file("f.bin", bytes);
  // Confirmations other than a lone "y" stop before the key is asked.
  for (std::string answer : {"Y\n", "yes\n", "\n", "o\n", "y \n", ""}) {
    auto session = run_session("7\nf.bin\n" + answer + "n\n");
    std::string end = answer.empty() ? CONTINUE + "\n" : CONTINUE;
    EXPECT_EQ(session.transcript, MENU + "<clear>" + dialogue(7) + end) << answer;
  }
  // Keys outside 1 to 255, however many digits, and answers with no number.
  for (std::string key : {"0", "-1", "256", "4294967297", "4294967553", "abc", "-", ""}) {
    auto session = run_session("7\nf.bin\ny\n" + key + "\nn\n");
    // An answer with no number lets the key read look at the next line, which
    // is then dropped: the end of input ends the continue question.
    std::string end = key.empty() ? CONTINUE + "\n" : CONTINUE;
    EXPECT_EQ(session.transcript, MENU + "<clear>" + dialogue(7) + KEY_PROMPT + end) << key;
  }
  EXPECT_EQ(read_file("f.bin"), bytes);
}

TEST_F(Encipherer, KeysAreReadAsDecimalNumbers) {
  struct Case {
    std::string answer;
    unsigned char key;
  };
  const Case cases[] = {{"12abc\n", 12}, {"+5\n", 5}, {"  \n 7\n", 7}, {"0255\n", 255}};
  for (const Case& c : cases) {
    write_file("f.bin", "abc");
    auto session = run_session("7\nf.bin\ny\n" + c.answer + "n\n");
    EXPECT_EQ(session.transcript, MENU + "<clear>" + dialogue(3) + KEY_PROMPT + DONE + CONTINUE)
        << c.answer;
    EXPECT_EQ(read_file("f.bin"), enciphered("abc", c.key)) << c.answer;
  }
}

TEST_F(Encipherer, EmptyFileAndLongNames) {
  write_file("empty", "");
  auto session = run_session("7\nempty\ny\n9\nn\n");
  EXPECT_EQ(session.transcript, MENU + "<clear>" + dialogue(0) + KEY_PROMPT + DONE + CONTINUE);
  EXPECT_EQ(read_file("empty"), "");
  // The pending line end of a 29-character name is the confirmation: refused.
  const std::string name28(28, 'n');
  write_file(name28, "abc");
  session = run_session("7\n" + name28 + "Z\ny\n9\nn\n");
  EXPECT_EQ(read_file(name28), "abc");
  // A missing file is not created.
  session = run_session("7\nmissing\nn\n");
  EXPECT_EQ(session.transcript,
            MENU + "<clear>Nom du fichier TEXTE : Impossible d'ouvrir le fichier 'missing'" + CONTINUE);
  EXPECT_FALSE(std::filesystem::exists("missing"));
}

TEST_F(Encipherer, LargeFileCrossesChunksAndKeepsItsLength) {
  const std::string bytes = testing::pseudo_random_bytes(5 * 1024 * 1024 + 3, 5);
  write_file("big", bytes);
  run_session("7\nbig\ny\n200\nn\n");
  std::string after = read_file("big");
  ASSERT_EQ(after.size(), bytes.size());
  EXPECT_TRUE(after == enciphered(bytes, 200));
  // Each chunk reports how far the pass has gone, up to the whole size.
  std::FILE* file = std::fopen("big", "r+b");
  ASSERT_NE(file, nullptr);
  std::setvbuf(file, nullptr, _IONBF, 0);
  std::vector<std::int64_t> reported;
  EXPECT_EQ(crypt_in_place(file, static_cast<std::int64_t>(bytes.size()), 200,
                           [&reported](std::int64_t done) {
                             reported.push_back(done);
                             return true;
                           }).outcome,
            CryptOutcome::done);
  std::fclose(file);
  EXPECT_TRUE(read_file("big") == bytes);
  ASSERT_GT(reported.size(), 2u);
  // Strictly increasing.
  EXPECT_EQ(std::adjacent_find(reported.begin(), reported.end(), std::greater_equal<>()),
            reported.end());
  EXPECT_EQ(reported.back(), static_cast<std::int64_t>(bytes.size()));
}

TEST_F(Encipherer, FailedWriteIsReportedAndTheFileRestored) {
  // Writes past 3 MiB fail: the first chunks are rewritten, then the one that
  // crosses the limit fails half-way, and everything is put back.
  const std::string bytes = testing::pseudo_random_bytes(4 * 1024 * 1024, 9);
  write_file("big", bytes);
  auto session = testing::run_session_with_file_limit("7\nbig\ny\n77\nn\n", 3 * 1024 * 1024 + 100);
  EXPECT_EQ(session.transcript,
            MENU + "<clear>" + dialogue(bytes.size()) + KEY_PROMPT +
                "Erreur d'Ecriture : le fichier a EtE remis dans son Etat d'origine\n" + CONTINUE);
  EXPECT_TRUE(read_file("big") == bytes);
}

TEST_F(Encipherer, CutFileIsPutBackAndNeverRegrown) {
  // Another program cuts the file before the pass, or after `after` bytes were
  // rewritten: inside the next chunk, or below what was already rewritten.
  struct Case {
    std::size_t size;
    std::size_t cut;
    std::int64_t after;
  };
  const Case cases[] = {{100, 60, 0},
                        {3 * 1024 * 1024, 3 * 512 * 1024 + 7, 0},
                        {3 * 1024 * 1024, 600000, 512 * 1024},
                        {3 * 1024 * 1024, 200000, 512 * 1024}};
  for (Case c : cases) {
    const std::string bytes = testing::pseudo_random_bytes(c.size, 4);
    write_file("s.bin", bytes);
    std::FILE* file = std::fopen("s.bin", "r+b");
    ASSERT_NE(file, nullptr);
    if (c.after == 0) std::filesystem::resize_file("s.bin", c.cut);
    CryptResult result = crypt_in_place(file, static_cast<std::int64_t>(c.size), 1,
                                        [&](std::int64_t done) {
                                          if (done == c.after) std::filesystem::resize_file("s.bin", c.cut);
                                          return true;
                                        });
    std::fclose(file);
    EXPECT_EQ(result.outcome, CryptOutcome::cut) << c.cut;
    EXPECT_TRUE(result.restored()) << c.cut;
    EXPECT_TRUE(read_file("s.bin") == bytes.substr(0, c.cut)) << c.cut;
  }
}

TEST_F(Encipherer, InterruptedPassIsPutBack) {
  const std::string bytes = testing::pseudo_random_bytes(1024 * 1024 + 5, 6);
  write_file("s.bin", bytes);
  std::FILE* file = std::fopen("s.bin", "r+b");
  ASSERT_NE(file, nullptr);
  CryptResult result = crypt_in_place(file, static_cast<std::int64_t>(bytes.size()), 99,
                                      [](std::int64_t done) { return done < 300000; });
  std::fclose(file);
  EXPECT_EQ(describe(result), "Cryptage interrompu : le fichier a EtE remis dans son Etat d'origine\n");
  EXPECT_TRUE(read_file("s.bin") == bytes);
}

TEST_F(Encipherer, WhatStaysEncipheredIsToldExactly) {
  const std::string lost = "Erreur d'Ecriture : le fichier n'a pas pu Etre remis dans son Etat "
                           "d'origine ; ";
  struct Case {
    CryptResult result;
    std::string said;
  };
  const Case cases[] = {
      {{CryptOutcome::write_failed, 262144, 0, 0, false}, lost + "les 262144 premiers octets sont cryptEs\n"},
      {{CryptOutcome::write_failed, 131072, 140000, 262144, false},
       lost + "les 131072 premiers octets et les octets 140000 A 262143 sont cryptEs\n"},
      {{CryptOutcome::write_failed, 0, 10, 20, false}, lost + "les octets 10 A 19 sont cryptEs\n"},
      {{CryptOutcome::cut, 0, 0, 0, false},
       "Le fichier a EtE raccourci par un autre programme : ce qu'il en reste est dans son Etat "
       "d'origine\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(describe(c.result), c.said);
}

}  // namespace
}  // namespace octets
