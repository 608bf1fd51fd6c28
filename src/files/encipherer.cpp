#include "files/encipherer.h"

#include <optional>

#include "console/progress.h"
#include "files/current_file.h"

namespace octets {
namespace {

const char* cause(CryptOutcome outcome) {
  switch (outcome) {
    case CryptOutcome::read_failed:
      return "Erreur de lecture";
    case CryptOutcome::write_failed:
      return "Erreur d'Ecriture";
    case CryptOutcome::sync_failed:
      return "Erreur d'enregistrement sur le disque";
    case CryptOutcome::cut:
      return "Le fichier a EtE raccourci par un autre programme";
    case CryptOutcome::interrupted:
      return "Cryptage interrompu";
    case CryptOutcome::done:
      break;
  }
  return "";
}

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
/// how it ended. Signals that would end the program are held back meanwhile.
Interruption run_pass(Console& console, OpenFile& file, std::int64_t size, unsigned char key) {
  StreamFile target(file.stream());
  CryptResult result;
  int signal = 0;
  {
    InterruptionShield shield;
    Progress progress(console, size);
    result = crypt_in_place(target, size, key, [&](std::int64_t done) {
      progress.update(done);
      return shield.received() == 0;
    });
    progress.finish();
    signal = shield.received();
  }
  if (!file.close() && result.outcome == CryptOutcome::done) {
    console.write("Erreur A la fermeture : le fichier n'est peut-Etre pas entiErement cryptE\n");
  } else {
    console.write(describe(result));
  }
  return Interruption{signal};
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
           std::to_string(result.enciphered) + " premiers octets sont peut-Etre cryptEs\n";
  }
  text += " : le fichier n'a pas pu Etre remis dans son Etat d'origine ; ";
  if (result.enciphered > 0) {
    text += "les " + std::to_string(result.enciphered) + " premiers octets";
    if (result.also_to > result.also_from) text += " et ";
  }
  if (result.also_to > result.also_from) {
    text += "les octets " + std::to_string(result.also_from) + " A " +
            std::to_string(result.also_to - 1);
  }
  return text + " sont cryptEs\n";
}

Interruption crypt_file(Console& console) {
  OpenFile file = open_named_file(console, "r+b");
  if (!file) return {};
  // Held until the file is closed: two passes at once would each undo part of
  // the other's work.
  if (!lock_file(file.stream())) {
    console.write("Le fichier est ouvert par un autre programme qui va le crypter : "
                  "il n'a pas EtE modifiE\n");
    return {};
  }
  std::int64_t size = measure_file_or_report(console);
  if (size < 0) return {};
  std::optional<unsigned char> key = ask_consent(console, size);
  if (!key) return {};
  // The user agreed to the size shown; a file that grew or shrank since is not
  // the one they meant.
  if (stored_size(file.stream()) != size) {
    console.write("Le fichier a changE depuis qu'il a EtE mesurE : il n'a pas EtE modifiE\n");
    return {};
  }
  return run_pass(console, file, size, *key);
}

}  // namespace octets
