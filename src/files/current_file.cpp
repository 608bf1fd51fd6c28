#include "files/current_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "files/file_system.h"
#include "files/ibm_symbols.h"

namespace octets {

namespace {

/// Why the system would not open a file, in the dialogue's words.
const char* open_failure_reason(int error) {
  switch (error) {
    case ENOENT: return "Le fichier n'existe pas";
    case EACCES: case EPERM: return "Droits insuffisants pour lire ou Ecrire ce fichier";
    case EISDIR: return "C'est un dossier";
    case ENODEV: return "C'est un pEriphErique, un tube ou une socket, pas un fichier";
    case ENOTDIR: return "Un nom du chemin n'est pas celui d'un dossier";
    case ENAMETOOLONG: return "Le nom est trop long";
    case EROFS: return "Le disque ne peut Etre que lu";
  }
  return "Le systEme refuse de l'ouvrir";
}

}  // namespace

CurrentFile current_file;
char line_buffer[LINE_CAPACITY];

OpenFile open_named_file(Console& console, const char* mode) {
  console.write("Nom du fichier TEXTE : ");
  char* name = current_file.name;
  std::size_t count = console.read_line(name, NAME_CAPACITY);
  if (count == 0) return OpenFile();
  // The last character is the line end, or the 29th of a longer name. A name
  // cut short by the end of input has no line end to lose.
  bool ends_line = name[count - 1] == '\n' || count == NAME_CAPACITY - 1;
  std::size_t kept = ends_line ? count - 1 : count;
  name[kept] = '\0';
  // A zero byte would end the name early and lead to another file than the
  // one typed: such a name names none.
  bool whole = std::strlen(name) == kept;
  current_file.stream = whole ? open_regular_file(name, mode) : nullptr;
  const int error = errno;
  if (current_file.stream == nullptr) {
    console.write("Impossible d'ouvrir le fichier '");
    write_name(console, name);
    console.write("'");
    // A screen is told why on a row of its own; a pipe gets the dialogue as it is.
    if (console.screen() != Screen::none) {
      console.write("\n");
      console.write(whole ? open_failure_reason(error) : "Le nom contient un octet zEro");
      console.write("\n");
    }
    return OpenFile();
  }
  // Binary files are read and written in large chunks by the program itself,
  // and lines are written whole, one at a time. Without the C library's buffer,
  // what a read or write reports is exactly what happened in the file, nothing
  // is left over to be written at the close, and seeking reads nothing ahead.
  if (std::strcmp(mode, "r") != 0) std::setvbuf(current_file.stream, nullptr, _IONBF, 0);
  return OpenFile(true);
}

void write_name(Console& console, const char* name) {
  console.write(shown_name(name, console.screen()));
}

std::int64_t measure_file() { return seek_to_end(current_file.stream); }

std::int64_t measure_file_or_report(Console& console) {
  std::int64_t size = measure_file();
  if (size < 0) console.write("Impossible de mesurer la taille du fichier\n");
  return size;
}

bool close_current_file() {
  if (current_file.stream == nullptr) return true;
  bool closed = std::fclose(current_file.stream) == 0;
  current_file.stream = nullptr;
  return closed;
}

bool OpenFile::close() {
  if (!open_) return true;
  open_ = false;
  return close_current_file();
}

ChunkReader::ChunkReader(std::FILE* stream, std::int64_t size, std::size_t chunk_capacity)
    : stream_(stream), chunk_(chunk_capacity), size_(size) {
  failed_ = !seek_file(stream_, 0);
}

bool ChunkReader::measure_by_reading(std::size_t limit) {
  if (failed_) return true;
  // One byte more tells whether there is more.
  held_.resize(limit + 1);
  std::size_t got = std::fread(held_.data(), 1, held_.size(), stream_);
  failed_ = std::ferror(stream_) != 0;
  held_.resize(std::min(got, limit));
  size_ = static_cast<std::int64_t>(held_.size());
  return got <= limit;
}

std::span<unsigned char> ChunkReader::next_chunk() {
  if (held_delivered_ < held_.size()) {
    std::size_t count = std::min(chunk_.size(), held_.size() - held_delivered_);
    std::span<unsigned char> chunk(held_.data() + held_delivered_, count);
    held_delivered_ += count;
    read_ += static_cast<std::int64_t>(count);
    return chunk;
  }
  if (failed_ || ended_early_ || read_ >= size_) return {};
  auto wanted = static_cast<std::size_t>(
      std::min<std::int64_t>(size_ - read_, static_cast<std::int64_t>(chunk_.size())));
  std::size_t got = std::fread(chunk_.data(), 1, wanted, stream_);
  if (got < wanted) {
    failed_ = std::ferror(stream_) != 0;
    ended_early_ = !failed_;
  }
  read_ += static_cast<std::int64_t>(got);
  return {chunk_.data(), got};
}

}  // namespace octets
