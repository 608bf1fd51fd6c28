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

TEST_F(Encipherer, FailedWriteIsReportedAndTheFileRestored) {
  // Writes past 3 MiB fail: the first chunks are rewritten, then the one that
  // crosses the limit fails half-way, everything is put back, and the status
  // tells of the failure once the dialogue is over.
  const std::string bytes = test::pseudo_random_bytes(4 * 1024 * 1024, 9);
  write_file("big", bytes);
  // "o" goes on, "8" shows the help.
  auto session =
      test::run_session_with_file_limit("7\nbig\ny\n77\no8\nn\n", 3 * 1024 * 1024 + 100);
  EXPECT_EQ(session.status, 1);
  EXPECT_EQ(session.transcript,
            MENU + "<clear>" + NAME_PROMPT + crypt_asked(bytes.size()) + KEY_PROMPT +
                "Erreur d'Ecriture : le fichier a EtE remis dans son Etat d'origine\n" + CONTINUE +
                MENU + "<clear>" + HELP + CONTINUE);
  EXPECT_TRUE(read_file("big") == bytes);
}

TEST_F(Encipherer, WhatStaysEncipheredIsToldExactly) {
  const std::string back = " : le fichier a EtE remis dans son Etat d'origine\n";
  const std::string lost = "Erreur d'Ecriture : le fichier n'a pas pu Etre remis dans son Etat "
                           "d'origine ; ";
  const std::pair<CryptResult, std::string> cases[] = {
      {{CryptOutcome::write_failed, 0, 262144}, lost + "les 262144 premiers octets sont cryptEs\n"},
      {{CryptOutcome::write_failed, 140000, 262144},
       lost + "les octets 140000 A 262143 sont cryptEs\n"},
      {{CryptOutcome::read_failed}, "Erreur de lecture : le fichier n'a pas EtE modifiE\n"},
      {{CryptOutcome::read_failed, 0, 262144},
       "Erreur de lecture : le fichier n'a pas pu Etre remis dans son Etat d'origine ; les 262144 "
       "premiers octets sont cryptEs\n"},
      {{CryptOutcome::interrupted},
       "Cryptage interrompu : le fichier a EtE remis dans son Etat d'origine\n"},
      {{CryptOutcome::sync_failed},
       "Erreur d'enregistrement sur le disque : le fichier a EtE remis dans son Etat d'origine\n"},
      {{CryptOutcome::sync_failed, 0, 4194304, true},
       "Erreur d'enregistrement sur le disque : le fichier a EtE remis dans son Etat d'origine "
       "sans confirmation du disque ; les 4194304 premiers octets sont peut-Etre cryptEs\n"},
      {{CryptOutcome::done}, "Fichier cryptE / dEcryptE\n"},
      {{CryptOutcome::cut},
       "Le fichier a EtE raccourci par un autre programme : ce qu'il en reste est dans son Etat "
       "d'origine\n"},
      {{CryptOutcome::grown}, "Le fichier a EtE allongE par un autre programme" + back},
      {{CryptOutcome::replaced},
       "Le fichier a EtE remplacE ou supprimE par un autre programme" + back},
  };
  for (const auto& [result, said] : cases) EXPECT_EQ(describe(result), said);
}

}  // namespace
}  // namespace octets
