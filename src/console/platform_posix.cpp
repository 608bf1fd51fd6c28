#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

class PosixTerminal : public Terminal {
 public:
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

void enlarge_output_pipe() {
#if defined(F_SETPIPE_SZ)
  // 1 MiB is the most an unprivileged program may ask for by default.
  constexpr int OUTPUT_PIPE_SIZE = 1024 * 1024;
  struct stat info;
  if (::fstat(STDOUT_FILENO, &info) != 0 || !S_ISFIFO(info.st_mode)) return;
  if (::fcntl(STDOUT_FILENO, F_GETPIPE_SZ) >= OUTPUT_PIPE_SIZE) return;
  ::fcntl(STDOUT_FILENO, F_SETPIPE_SZ, OUTPUT_PIPE_SIZE);
#endif
}

}  // namespace octets
