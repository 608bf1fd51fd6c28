#include "files/encipherer.h"

#include <algorithm>
#include <memory>
#include <new>

#include "console/platform.h"
#include "console/progress.h"
#include "files/current_file.h"

namespace octets {
namespace {

// Small enough to stay in the processor's cache between the read, the key and
// the write back, large enough that the three system calls a chunk makes cost
// little (256 KiB measured a few per cent faster than 128 or 512).
constexpr std::size_t CRYPT_CHUNK = 256 * 1024;
// The kernel copies to and from a page-aligned buffer fastest.
constexpr std::align_val_t PAGE{4096};

struct AlignedDelete {
  void operator()(unsigned char* bytes) const { ::operator delete[](bytes, PAGE); }
};
using ChunkBuffer = std::unique_ptr<unsigned char[], AlignedDelete>;

ChunkBuffer make_chunk(std::size_t capacity) {
  // Every byte is read into it before use, so it needs no zeroing.
  return ChunkBuffer(static_cast<unsigned char*>(::operator new[](capacity, PAGE)));
}

/// Applies the key again to the first `end` bytes, which were enciphered,
/// from the last chunk down, so that whatever cannot be put back is the start
/// of the file. What another program cut off is not written again.
CryptResult put_back(std::FILE* file, std::int64_t end, unsigned char key, unsigned char* chunk,
                     std::size_t capacity) {
  CryptResult result;
  const auto step = static_cast<std::int64_t>(capacity);
  for (std::int64_t top = end; top > 0;) {
    std::int64_t bottom = (top - 1) / step * step;
    std::int64_t now = current_size(file);
    std::int64_t limit = std::min(top, now);
    if (limit > bottom) {
      auto n = static_cast<std::size_t>(limit - bottom);
      std::int64_t got = read_at(file, bottom, chunk, n);
      if (got < 0) {
        result.enciphered = limit;
        return result;
      }
      n = static_cast<std::size_t>(got);
      xor_bytes(chunk, n, key);
      std::size_t written = write_at(file, bottom, chunk, n);
      if (written < n) {
        result.enciphered = written == 0 ? bottom + static_cast<std::int64_t>(n) : bottom;
        if (written != 0) {
          result.also_from = bottom + static_cast<std::int64_t>(written);
          result.also_to = bottom + static_cast<std::int64_t>(n);
        }
        return result;
      }
    } else if (now < 0) {
      result.enciphered = top;
      return result;
    }
    top = bottom;
  }
  if (end > 0 && !sync_file(file)) {
    result.unconfirmed = true;
    result.enciphered = std::max<std::int64_t>(0, std::min(end, current_size(file)));
  }
  return result;
}

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

}  // namespace

void xor_bytes(unsigned char* bytes, std::size_t count, unsigned char key) {
  // A plain loop over bytes: the compiler turns it into vector instructions.
  for (std::size_t i = 0; i < count; ++i) bytes[i] ^= key;
}

CryptResult crypt_in_place(std::FILE* file, std::int64_t size, unsigned char key,
                           const KeepGoing& keep_going) {
  const auto capacity = static_cast<std::size_t>(
      std::clamp<std::int64_t>(size, 1, static_cast<std::int64_t>(CRYPT_CHUNK)));
  ChunkBuffer buffer = make_chunk(capacity);
  unsigned char* chunk = buffer.get();
  CryptOutcome outcome = CryptOutcome::done;
  // The file is enciphered from its start up to `done`, and plain after it.
  std::int64_t done = 0;
  while (done < size) {
    auto n = static_cast<std::size_t>(
        std::min<std::int64_t>(size - done, static_cast<std::int64_t>(capacity)));
    std::int64_t got = read_at(file, done, chunk, n);
    if (got < 0) {
      outcome = CryptOutcome::read_failed;
      break;
    }
    if (got < static_cast<std::int64_t>(n)) {
      outcome = CryptOutcome::cut;
      break;
    }
    xor_bytes(chunk, n, key);
    // A write past the end would grow a file that another program cut: the
    // size is looked at again as late as can be.
    std::int64_t now = current_size(file);
    if (now < done + static_cast<std::int64_t>(n)) {
      outcome = now < 0 ? CryptOutcome::read_failed : CryptOutcome::cut;
      break;
    }
    std::size_t written = write_at(file, done, chunk, n);
    done += static_cast<std::int64_t>(written);
    if (written < n) {
      outcome = CryptOutcome::write_failed;
      break;
    }
    if (keep_going && !keep_going(done)) {
      outcome = CryptOutcome::interrupted;
      break;
    }
  }
  // Success is reported only for data on the storage.
  if (outcome == CryptOutcome::done) {
    if (sync_file(file)) return {};
    outcome = CryptOutcome::sync_failed;
  }
  CryptResult result = put_back(file, done, key, chunk, capacity);
  result.outcome = outcome;
  return result;
}

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

void crypt_file(Console& console) {
  if (!open_named_file(console, "r+b")) return;
  // Held until the file is closed: two passes at once would each undo part of
  // the other's work.
  if (!lock_file(current_file.stream)) {
    console.write("Le fichier est en cours de cryptage par un autre programme : "
                  "il n'a pas EtE modifiE\n");
    close_current_file();
    return;
  }
  std::int64_t size = measure_file_or_close(console);
  if (size < 0) return;
  console.out() << " = " << size << " octets\n";
  console.write("Attention. Tous les octets vont Etre modifiEs.\n");
  console.write("Souhaitez vous crypter/dEcrypter ? (y/N) : ");
  if (console.read_answer() != 'y') {
    close_current_file();
    return;
  }
  console.write("ClE de cryptage/dEcryptage (1 A 255) = ");
  std::optional<std::int64_t> key = console.read_number();
  console.discard_pending_input();
  if (!key || *key < 1 || *key > 255) {
    close_current_file();
    return;
  }
  // The user agreed to the size shown; a file that grew or shrank since is not
  // the one they meant.
  if (current_size(current_file.stream) != size) {
    console.write("Le fichier a changE depuis qu'il a EtE mesurE : il n'a pas EtE modifiE\n");
    close_current_file();
    return;
  }
  CryptResult result;
  int signal = 0;
  {
    InterruptionShield shield;
    Progress progress(console, size);
    result = crypt_in_place(current_file.stream, size, static_cast<unsigned char>(*key),
                            [&](std::int64_t done) {
                              progress.update(done);
                              return shield.received() == 0;
                            });
    progress.finish();
    signal = shield.received();
  }
  if (!close_current_file() && result.outcome == CryptOutcome::done) {
    console.write("Erreur A la fermeture : le fichier n'est peut-Etre pas entiErement cryptE\n");
  } else {
    console.write(describe(result).c_str());
  }
  if (signal != 0) console.stop_for_signal(signal);
}

}  // namespace octets
