#include "files/encipherer.h"

#include <iterator>
#include <optional>

#include "console/interruption.h"
#include "console/progress.h"
#include "files/current_file.h"

namespace octets {
namespace {

/// What ended a pass, as told, by CryptOutcome in its order.
constexpr const char* CAUSES[] = {
    "",
    "Erreur de lecture",
    "Erreur d'Ecriture",
    "Erreur d'enregistrement sur le disque",
    "Le fichier a EtE raccourci par un autre programme",
    "Le fichier a EtE allongE par un autre programme",
    "Le fichier a EtE remplacE ou supprimE par un autre programme",
    "Cryptage interrompu",
};

static_assert(std::size(CAUSES) == static_cast<int>(CryptOutcome::interrupted) + 1);

const char* cause(CryptOutcome outcome) { return CAUSES[static_cast<int>(outcome)]; }

/// Shows the size and asks for the confirmation and the key. The key, or
/// nothing when the user refused or gave no valid key.
std::optional<unsigned char> ask_consent(Console& console, std::int64_t size) {
  console.write(" = ");
  console.write(size);
  console.write(" octets\n");
  console.write("Attention. Tous les octets vont Etre modifiEs.\n");
  console.write("Souhaitez vous crypter/dEcrypter ? (y/N) : ");
  if (console.read_answer() != 'y') return std::nullopt;
  console.write("ClE de cryptage/dEcryptage (1 A 255) = ");
  std::optional<std::int64_t> key = console.read_number();
  console.discard_pending_input();
  if (!key || *key < 1 || *key > 255) return std::nullopt;
  return static_cast<unsigned char>(*key);
}

/// Rewrites the whole file with the key, showing how far it has gone, and says
/// how it ended; false when it did not end well. The signals that would end
/// the program wait meanwhile: until success is told, any of them makes the
/// pass put the file back, and ends the program once that is told.
bool run_pass(Console& console, OpenFile& file, std::int64_t size, unsigned char key) {
  InterruptionShield shield;
  StreamFile target(file.stream());
  // The user agreed to the size shown, for the file under that name.
  if (target.size() != size) {
    console.write("Le fichier a changE depuis qu'il a EtE mesurE : il n'a pas EtE modifiE\n");
    return false;
  }
  if (!names_file(current_file.name, file.stream())) {
    console.write(std::string(cause(CryptOutcome::replaced)) + " : il n'a pas EtE modifiE\n");
    return false;
  }
  CryptResult result;
  {
    Progress progress(console, size);
    result = xor_in_place(target, size, key, [&](std::int64_t done) {
      progress.update(done);
      if (shield.interrupted()) return CryptOutcome::interrupted;
      return names_file(current_file.name, file.stream()) ? CryptOutcome::done
                                                           : CryptOutcome::replaced;
    });
  }
  console.write(describe(result));
  // Before a signal that waited ends the program.
  console.flush();
  return result.outcome == CryptOutcome::done;
}

}  // namespace

std::string describe(const CryptResult& result) {
  if (result.outcome == CryptOutcome::done) return "Fichier cryptE / dEcryptE\n";
  std::string text = cause(result.outcome);
  if (result.restored()) {
    switch (result.outcome) {
      case CryptOutcome::read_failed:
        return text + " : le fichier n'a pas EtE modifiE\n";
      case CryptOutcome::cut:
        return text + " : ce qu'il en reste est dans son Etat d'origine\n";
      default:
        return text + " : le fichier a EtE remis dans son Etat d'origine\n";
    }
  }
  if (result.unconfirmed) {
    return text + " : le fichier a EtE remis dans son Etat d'origine sans confirmation du "
                  "disque ; les " +
           std::to_string(result.enciphered_to) + " premiers octets sont peut-Etre cryptEs\n";
  }
  text += " : le fichier n'a pas pu Etre remis dans son Etat d'origine ; les ";
  if (result.enciphered_from == 0) {
    text += std::to_string(result.enciphered_to) + " premiers octets";
  } else {
    text += "octets " + std::to_string(result.enciphered_from) + " A " +
            std::to_string(result.enciphered_to - 1);
  }
  return text + " sont cryptEs\n";
}

bool crypt_file(Console& console) {
  OpenFile file = open_named_file(console, "r+b");
  if (!file) return true;
  // Held until the file is closed: two passes at once would each undo part of
  // the other's work.
  if (!lock_file(file.stream())) {
    console.write("Le fichier est ouvert par un autre programme qui va le crypter : "
                  "il n'a pas EtE modifiE\n");
    return false;
  }
  std::int64_t size = measure_file_or_report(console);
  if (size < 0) return false;
  std::optional<unsigned char> key = ask_consent(console, size);
  if (!key) return true;
  return run_pass(console, file, size, *key);
}

}  // namespace octets
