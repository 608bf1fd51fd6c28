#include "files/encipherer.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "console/platform.h"
#include "console/progress.h"
#include "files/current_file.h"

namespace octets {
namespace {

// Small enough to stay in the processor's cache between the read, the key and
// the write back, large enough that system calls cost little.
constexpr std::size_t CRYPT_CHUNK = 128 * 1024;

/// Reads `count` bytes at `offset`, combines them with the key and writes them
/// back; false when any step failed.
bool rewrite_chunk(std::FILE* file, std::int64_t offset, unsigned char* bytes, std::size_t count,
                   unsigned char key) {
  if (!seek_file(file, offset) || std::fread(bytes, 1, count, file) != count) return false;
  xor_bytes(bytes, count, key);
  return seek_file(file, offset) && std::fwrite(bytes, 1, count, file) == count;
}

/// Applies the key again to the first `count` bytes, which were enciphered.
bool restore(std::FILE* file, std::int64_t count, unsigned char* chunk, std::size_t capacity,
             unsigned char key) {
  for (std::int64_t offset = 0; offset < count;) {
    auto n = static_cast<std::size_t>(
        std::min<std::int64_t>(count - offset, static_cast<std::int64_t>(capacity)));
    if (!rewrite_chunk(file, offset, chunk, n, key)) return false;
    offset += static_cast<std::int64_t>(n);
  }
  return true;
}

const char* outcome_text(CryptOutcome outcome) {
  switch (outcome) {
    case CryptOutcome::done:
      return "Fichier cryptE / dEcryptE\n";
    case CryptOutcome::read_failed:
      return "Erreur de lecture : le fichier n'a pas EtE modifiE\n";
    case CryptOutcome::write_failed:
      return "Erreur d'Ecriture : le fichier a EtE remis dans son Etat d'origine\n";
    case CryptOutcome::not_restored:
      break;
  }
  return "Erreur d'Ecriture : le fichier est en partie cryptE et n'a pas pu Etre remis "
         "dans son Etat d'origine\n";
}

}  // namespace

void xor_bytes(unsigned char* bytes, std::size_t count, unsigned char key) {
  // Eight bytes at a time: the file may be large.
  const std::uint64_t wide_key = 0x0101010101010101ULL * key;
  std::size_t i = 0;
  for (; i + 8 <= count; i += 8) {
    std::uint64_t word;
    std::memcpy(&word, bytes + i, 8);
    word ^= wide_key;
    std::memcpy(bytes + i, &word, 8);
  }
  for (; i < count; ++i) bytes[i] ^= key;
}

CryptOutcome crypt_in_place(std::FILE* file, std::int64_t size, unsigned char key,
                            const std::function<void(std::int64_t)>& chunk_done) {
  const auto capacity = static_cast<std::size_t>(
      std::min<std::int64_t>(size, static_cast<std::int64_t>(CRYPT_CHUNK)));
  // Every byte is read into it before use, so it needs no zeroing.
  auto buffer = std::make_unique_for_overwrite<unsigned char[]>(capacity);
  unsigned char* chunk = buffer.get();
  for (std::int64_t done = 0; done < size;) {
    auto n = static_cast<std::size_t>(
        std::min<std::int64_t>(size - done, static_cast<std::int64_t>(capacity)));
    if (!seek_file(file, done) || std::fread(chunk, 1, n, file) != n) {
      return restore(file, done, chunk, capacity, key) ? CryptOutcome::read_failed
                                                       : CryptOutcome::not_restored;
    }
    xor_bytes(chunk, n, key);
    std::size_t written = seek_file(file, done) ? std::fwrite(chunk, 1, n, file) : 0;
    if (written != n) {
      // The part of this chunk that reached the file is put back from memory.
      xor_bytes(chunk, written, key);
      bool restored = seek_file(file, done) &&
                      std::fwrite(chunk, 1, written, file) == written &&
                      restore(file, done, chunk, capacity, key);
      return restored ? CryptOutcome::write_failed : CryptOutcome::not_restored;
    }
    done += static_cast<std::int64_t>(n);
    if (chunk_done) chunk_done(done);
  }
  return CryptOutcome::done;
}

void crypt_file(Console& console) {
  if (!open_named_file(console, "r+b")) return;
  std::int64_t size = measure_file();
  if (size < 0) {
    console.write("Impossible de mesurer la taille du fichier\n");
    close_current_file();
    return;
  }
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
  Progress progress(console, size);
  CryptOutcome outcome =
      crypt_in_place(current_file.stream, size, static_cast<unsigned char>(*key),
                     [&progress](std::int64_t done) { progress.update(done); });
  progress.finish();
  if (!close_current_file() && outcome == CryptOutcome::done) {
    console.write("Erreur A la fermeture : le fichier n'est peut-Etre pas entiErement cryptE\n");
    return;
  }
  console.write(outcome_text(outcome));
}

}  // namespace octets
