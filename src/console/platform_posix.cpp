#include <fcntl.h>
#include <langinfo.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ostream>

#include "console/platform.h"

namespace octets {
namespace {

class DescriptorSource : public ByteSource {
 public:
  std::size_t read_some(char* buffer, std::size_t capacity) override {
    for (;;) {
      ssize_t n = ::read(STDIN_FILENO, buffer, capacity);
      if (n >= 0) return static_cast<std::size_t>(n);
      if (errno != EINTR) return 0;
    }
  }
};

/// Whether the user's locale reads text as UTF-8. The locale is looked at
/// without being made the program's own, so nothing else changes.
bool locale_is_utf8() {
  locale_t user = ::newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(0));
  if (user != static_cast<locale_t>(0)) {
    bool utf8 = std::strcmp(::nl_langinfo_l(CODESET, user), "UTF-8") == 0;
    ::freelocale(user);
    return utf8;
  }
  // A locale that is named but not installed still says what the terminal
  // expects.
  for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* name = std::getenv(variable);
    if (name == nullptr || *name == '\0') continue;
    return ::strcasestr(name, "UTF-8") != nullptr || ::strcasestr(name, "UTF8") != nullptr;
  }
  return false;
}

class PosixTerminal : public Terminal {
 public:
  Screen screen() override {
    static const Screen kind = !::isatty(STDOUT_FILENO) ? Screen::none
                               : locale_is_utf8()       ? Screen::utf8_terminal
                                                        : Screen::other_terminal;
    return kind;
  }

  void clear_screen(std::ostream& out) override {
    // A pipe or a file gets only the dialogue.
    if (!::isatty(STDOUT_FILENO)) return;
    // Cursor home, clear the screen, clear the scrollback.
    out << "\x1b[H\x1b[2J\x1b[3J";
    out.flush();
  }
};

}  // namespace

ByteSource& standard_input() {
  static DescriptorSource source;
  return source;
}

Terminal& standard_terminal() {
  static PosixTerminal terminal;
  return terminal;
}

std::FILE* open_regular_file(const char* name, const char* mode) {
  int flags = 0;
  bool truncate = false;
  if (std::strcmp(mode, "w") == 0) {
    // Truncated only once it is known to be a regular file.
    flags = O_WRONLY | O_CREAT;
    truncate = true;
  } else if (std::strcmp(mode, "a") == 0) {
    flags = O_WRONLY | O_CREAT | O_APPEND;
  } else if (std::strcmp(mode, "r+b") == 0) {
    flags = O_RDWR;
  } else {
    flags = O_RDONLY;
  }
  // Non-blocking so that opening a FIFO with no writer does not wait.
  int fd = ::open(name, flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666);
  if (fd < 0) return nullptr;
  struct stat info;
  bool usable = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
                ::fcntl(fd, F_SETFL, flags & O_APPEND) == 0 &&
                (!truncate || ::ftruncate(fd, 0) == 0);
  std::FILE* file = usable ? ::fdopen(fd, mode) : nullptr;
  if (file == nullptr) ::close(fd);
  return file;
}

bool seek_file(std::FILE* file, std::int64_t offset) {
  return ::fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
}

std::int64_t measure_open_file(std::FILE* file) {
  if (::fseeko(file, 0, SEEK_END) != 0) return -1;
  return static_cast<std::int64_t>(::ftello(file));
}

}  // namespace octets
