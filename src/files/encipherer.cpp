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
    case CryptOutcome::grown:
      return "Le fichier a EtE allongE par un autre programme";
    case CryptOutcome::wanted:
      return "Un autre programme a demandE le fichier";
    case CryptOutcome::replaced:
      return "Le fichier a EtE remplacE ou supprimE par un autre programme";
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

/// What stands against telling of success once the pass is done and synced,
/// or done when nothing does.
CryptOutcome last_check(const InterruptionShield& shield, XorPass& pass, const OpenFile& file) {
  if (shield.received() != 0) return CryptOutcome::interrupted;
  CryptOutcome outcome = pass.check();
  if (outcome != CryptOutcome::done) return outcome;
  return names_file(current_file.name, file.stream()) ? CryptOutcome::done
                                                       : CryptOutcome::replaced;
}

/// Rewrites the whole file with the key, showing how far it has gone, and says
/// how it ended. Other programs are held off the file where the system allows
/// it, and signals that would end the program are held back: until success is
/// told, any of them makes the pass put the file back.
Interruption run_pass(Console& console, OpenFile& file, std::int64_t size, unsigned char key) {
  // Up first: the lease's notice would end the program otherwise.
  InterruptionShield shield;
  StreamFile target(file.stream());
  target.hold([&shield] { return shield.notified(); });
  // The user agreed to the size shown, for the file under that name; with the
  // lease held, nothing can change the one and only a rename the other.
  if (target.size() != size) {
    console.write("Le fichier a changE depuis qu'il a EtE mesurE : il n'a pas EtE modifiE\n");
    return Interruption{shield.received()};
  }
  if (!names_file(current_file.name, file.stream())) {
    console.write(std::string(cause(CryptOutcome::replaced)) + " : il n'a pas EtE modifiE\n");
    return Interruption{shield.received()};
  }
  XorPass pass(target, size, key);
  CryptResult result;
  {
    Progress progress(console, size);
    result = pass.run([&](std::int64_t done) {
      progress.update(done);
      return shield.received() == 0;
    });
  }
  if (result.outcome == CryptOutcome::done) {
    // The last look and the message are one step: a signal comes before them
    // both, and the file is put back, or after them both.
    shield.block();
    CryptOutcome outcome = last_check(shield, pass, file);
    if (outcome == CryptOutcome::done) {
      target.release();
      console.write(file.close() ? describe(result)
                                 : "Erreur A la fermeture : le fichier n'est peut-Etre pas "
                                   "entiErement cryptE\n");
      console.flush();
    }
    shield.unblock();
    if (outcome == CryptOutcome::done) return Interruption{shield.received()};
    result = pass.put_back(outcome);
  }
  target.release();
  console.write(describe(result));
  return Interruption{shield.received()};
}

/// "les octets 0 A 3 et 262144 A 524287 ont EtE changEs par un autre programme
/// et laissEs tels quels".
std::string left_alone(const ByteRanges& changed) {
  std::string text = "les octets ";
  for (std::size_t i = 0; i < changed.size(); ++i) {
    if (i > 0) text += i + 1 == changed.size() ? " et " : ", ";
    text += std::to_string(changed[i].first) + " A " + std::to_string(changed[i].second - 1);
  }
  return text + " ont EtE changEs par un autre programme et laissEs tels quels";
}

}  // namespace

std::string describe(const CryptResult& result) {
  if (result.outcome == CryptOutcome::done) return "Fichier cryptE / dEcryptE\n";
  std::string text = cause(result.outcome);
  const std::string others = result.changed.empty() ? "" : " ; " + left_alone(result.changed);
  if (result.restored()) {
    if (!others.empty()) {
      return text + " : " + left_alone(result.changed) +
             " ; le reste est dans son Etat d'origine\n";
    }
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
           std::to_string(result.enciphered) + " premiers octets sont peut-Etre cryptEs" + others +
           "\n";
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
  return text + " sont cryptEs" + others + "\n";
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
  return run_pass(console, file, size, *key);
}

}  // namespace octets
