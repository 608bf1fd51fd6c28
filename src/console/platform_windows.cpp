#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cstdlib>
#include <ostream>

#include "console/platform.h"

namespace octets {
namespace {

class DescriptorSource : public ByteSource {
 public:
  std::size_t read_some(char* buffer, std::size_t capacity) override {
    // Standard input stays in text mode: CR LF arrives as one line end and
    // Ctrl-Z ends the input, as the platform's console conventions say.
    int n = ::_read(0, buffer, static_cast<unsigned>(capacity));
    return n > 0 ? static_cast<std::size_t>(n) : 0;
  }
};

class CommandTerminal : public Terminal {
 public:
  void clear_screen(std::ostream&) override {
    // A pipe or a file gets only the dialogue: "cls" would write a form feed
    // into it instead of clearing anything.
    if (!::_isatty(1)) return;
    // The result is ignored: without a command interpreter the output simply
    // goes on below what is already shown.
    int ignored = std::system("cls");
    (void)ignored;
  }
};

}  // namespace

ByteSource& standard_input() {
  static DescriptorSource source;
  return source;
}

Terminal& standard_terminal() {
  static CommandTerminal terminal;
  return terminal;
}

std::FILE* open_regular_file(const char* name, const char* mode) {
  std::FILE* file = std::fopen(name, mode);
  if (file == nullptr) return nullptr;
  // Devices such as CON or NUL open like files; only a real file will do.
  struct _stat64 info;
  if (::_fstat64(::_fileno(file), &info) != 0 || (info.st_mode & _S_IFMT) != _S_IFREG) {
    std::fclose(file);
    return nullptr;
  }
  return file;
}

bool seek_file(std::FILE* file, std::int64_t offset) {
  return ::_fseeki64(file, offset, SEEK_SET) == 0;
}

std::int64_t measure_open_file(std::FILE* file) {
  if (::_fseeki64(file, 0, SEEK_END) != 0) return -1;
  return ::_ftelli64(file);
}

void enlarge_output_pipe() {}

}  // namespace octets
