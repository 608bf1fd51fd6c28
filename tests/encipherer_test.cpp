#include "files/encipherer.h"

#include <gtest/gtest.h>

#include <utility>

#include "test_support.h"

namespace octets {
namespace {

using namespace test;

class Encipherer : public ::testing::Test {
 protected:
  test::TemporaryFolder folder;
};

TEST_F(Encipherer, LargeFileCrossesChunksAndKeepsItsLength) {
  const std::string bytes = test::pseudo_random_bytes(5 * 1024 * 1024 + 3, 5);
  write_file("big", bytes);
  run_session("7\nbig\ny\n200\nn\n");
  std::string after = read_file("big");
  ASSERT_EQ(after.size(), bytes.size());
  EXPECT_TRUE(after == enciphered(bytes, 200));
}

TEST_F(Encipherer, FailedWriteIsReportedAndTheFileRestored) {
  // Writes past 3 MiB fail: the first chunks are rewritten, then the one that
  // crosses the limit fails half-way, and everything is put back.
  const std::string bytes = test::pseudo_random_bytes(4 * 1024 * 1024, 9);
  write_file("big", bytes);
  auto session = test::run_session_with_file_limit("7\nbig\ny\n77\nn\n", 3 * 1024 * 1024 + 100);
  EXPECT_EQ(session.transcript,
            MENU + "<clear>" + NAME_PROMPT + crypt_asked(bytes.size()) + KEY_PROMPT +
                "Erreur d'Ecriture : le fichier a EtE remis dans son Etat d'origine\n" + CONTINUE);
  EXPECT_TRUE(read_file("big") == bytes);
}

TEST_F(Encipherer, WhatStaysEncipheredIsToldExactly) {
  const std::string back = " : le fichier a EtE remis dans son Etat d'origine\n";
  const std::string lost = "Erreur d'Ecriture : le fichier n'a pas pu Etre remis dans son Etat "
                           "d'origine ; ";
  const std::pair<CryptResult, std::string> cases[] = {
      {{CryptOutcome::write_failed, 262144, 0, 0, false}, lost + "les 262144 premiers octets sont cryptEs\n"},
      {{CryptOutcome::write_failed, 131072, 140000, 262144, false},
       lost + "les 131072 premiers octets et les octets 140000 A 262143 sont cryptEs\n"},
      {{CryptOutcome::write_failed, 0, 10, 20, false}, lost + "les octets 10 A 19 sont cryptEs\n"},
      {{CryptOutcome::read_failed, 0, 0, 0, false}, "Erreur de lecture : le fichier n'a pas EtE modifiE\n"},
      {{CryptOutcome::read_failed, 262144, 0, 0, false},
       "Erreur de lecture : le fichier n'a pas pu Etre remis dans son Etat d'origine ; les 262144 "
       "premiers octets sont cryptEs\n"},
      {{CryptOutcome::interrupted, 0, 0, 0, false},
       "Cryptage interrompu : le fichier a EtE remis dans son Etat d'origine\n"},
      {{CryptOutcome::sync_failed, 0, 0, 0, false},
       "Erreur d'enregistrement sur le disque : le fichier a EtE remis dans son Etat d'origine\n"},
      {{CryptOutcome::sync_failed, 4194304, 0, 0, true},
       "Erreur d'enregistrement sur le disque : le fichier a EtE remis dans son Etat d'origine "
       "sans confirmation du disque ; les 4194304 premiers octets sont peut-Etre cryptEs\n"},
      {{CryptOutcome::done, 0, 0, 0, false}, "Fichier cryptE / dEcryptE\n"},
      {{CryptOutcome::cut, 0, 0, 0, false},
       "Le fichier a EtE raccourci par un autre programme : ce qu'il en reste est dans son Etat "
       "d'origine\n"},
      {{CryptOutcome::grown}, "Le fichier a EtE allongE par un autre programme" + back},
      {{CryptOutcome::wanted}, "Un autre programme a demandE le fichier" + back},
      {{CryptOutcome::replaced},
       "Le fichier a EtE remplacE ou supprimE par un autre programme" + back},
      {{CryptOutcome::cut, 0, 0, 0, false, {{0, 4}}},
       "Le fichier a EtE raccourci par un autre programme : les octets 0 A 3 ont EtE changEs par "
       "un autre programme et laissEs tels quels ; le reste est dans son Etat d'origine\n"},
      {{CryptOutcome::write_failed, 262144, 0, 0, false, {{524288, 786432}, {1048576, 1048580}}},
       lost + "les 262144 premiers octets sont cryptEs ; les octets 524288 A 786431 et 1048576 A "
              "1048579 ont EtE changEs par un autre programme et laissEs tels quels\n"},
  };
  for (const auto& [result, said] : cases) EXPECT_EQ(describe(result), said);
}

}  // namespace
}  // namespace octets
